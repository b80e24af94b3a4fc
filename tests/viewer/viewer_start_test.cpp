// The real viewer program started where it cannot work: no display, a
// display that cannot be reached, a display that goes away while it runs,
// and a graphics module that is missing, broken or lacks its entry. Each
// ends with a line saying why and a defined exit code, never a signal.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/window/window.h"
#include "viewer/graphics_module.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using Environment = std::map<std::string, std::string>;

Environment CurrentEnvironment() {
  Environment env;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq != nullptr) env[std::string(*e, static_cast<std::size_t>(eq - *e))] = eq + 1;
  }
  return env;
}

// A child process with stdout and stderr captured together.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const Environment& env) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envText;
    for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
  }
  ~Child() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Waits for the end, reading the output meanwhile; false on timeout.
  bool Wait(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done_) {
      Drain(50);
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        done_ = true;
        status_ = status;
      } else if (Clock::now() > end) {
        return false;
      }
    }
    Drain(0);
    return true;
  }
  bool Exited() const { return done_ && WIFEXITED(status_); }
  int ExitCode() const { return WEXITSTATUS(status_); }
  std::string Describe() const {
    if (!done_) return "still running";
    if (WIFSIGNALED(status_)) return "killed by signal " + std::to_string(WTERMSIG(status_));
    return "exit code " + std::to_string(WEXITSTATUS(status_));
  }
  const std::string& output() const { return output_; }

 private:
  void Drain(int timeoutMs) {
    pollfd p{out_, POLLIN, 0};
    while (out_ >= 0 && poll(&p, 1, timeoutMs) > 0) {
      char buffer[4096];
      const ssize_t n = read(out_, buffer, sizeof buffer);
      if (n <= 0) break;
      output_.append(buffer, static_cast<std::size_t>(n));
      timeoutMs = 0;
    }
  }

  pid_t pid_ = -1;
  int out_ = -1;
  bool done_ = false;
  int status_ = 0;
  std::string output_;
};

// The viewer's environment: the test's own (sanitizer options included)
// without any display or library path, and without the host's session bus:
// the window library connects to it at start-up, and a bus that accepts
// and never answers would hold the viewer there for good.
Environment ViewerEnvironment() {
  Environment env = CurrentEnvironment();
  env.erase("DISPLAY");
  env.erase("WAYLAND_DISPLAY");
  env.erase("LD_LIBRARY_PATH");
  env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:";
  return env;
}

std::string FindOnPath(const char* tool) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const fs::path candidate = fs::path(dirs.substr(start, end - start)) / tool;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

class ViewerStart : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = fs::temp_directory_path() /
            ("kubik-viewer-start-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(work_);
    fs::create_directories(work_);
  }
  void TearDown() override { fs::remove_all(work_); }

  // A copy of the viewer in WORK/bin with the math library in WORK/lib, where
  // its run path looks, and whatever graphics module the test puts there.
  fs::path CopiedViewer() {
    fs::create_directories(work_ / "bin");
    fs::create_directories(work_ / "lib");
    const fs::path viewer = work_ / "bin" / "kubik-cube";
    fs::copy_file(KUBIK_VIEWER_PATH, viewer);
    const fs::path math = KUBIK_MATH_LIBRARY_PATH;
    fs::copy_file(math, work_ / "lib" / math.filename());
    return viewer;
  }

  static void ExpectEnd(Child& child, int code, const std::string& text) {
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.Wait(std::chrono::seconds(30))) << child.output();
    EXPECT_TRUE(child.Exited()) << child.Describe() << "\n" << child.output();
    EXPECT_EQ(child.ExitCode(), code) << child.output();
    EXPECT_NE(child.output().find(text), std::string::npos) << "expected \"" << text << "\" in:\n"
                                                            << child.output();
    EXPECT_EQ(child.output().find("AddressSanitizer"), std::string::npos) << child.output();
    EXPECT_EQ(child.output().find("runtime error"), std::string::npos) << child.output();
  }

  fs::path work_;
};

// ---- Display -------------------------------------------------------------------

TEST_F(ViewerStart, NoDisplayIsAWindowFailure) {
  for (const char* display : {static_cast<const char*>(nullptr), ""}) {
    SCOPED_TRACE(display == nullptr ? "unset" : "empty");
    Environment env = ViewerEnvironment();
    if (display != nullptr) env["DISPLAY"] = display;
    Child child({KUBIK_VIEWER_PATH}, env);
    ExpectEnd(child, 1, "no display");
    EXPECT_NE(child.output().find("Ошибка создания окна"), std::string::npos) << child.output();
  }
}

TEST_F(ViewerStart, UnreachableDisplayIsAWindowFailure) {
  // No server listens there; a malformed name fails the same way.
  for (const char* display : {":4711", "no-such-host:0", "::::"}) {
    SCOPED_TRACE(display);
    Environment env = ViewerEnvironment();
    env["DISPLAY"] = display;
    Child child({KUBIK_VIEWER_PATH}, env);
    ExpectEnd(child, 1, "cannot reach the display");
    EXPECT_NE(child.output().find("Ошибка создания окна"), std::string::npos) << child.output();
  }
}

TEST_F(ViewerStart, DisplayThatGoesAwayEndsWithItsOwnCode) {
  const std::string xvfb = FindOnPath("Xvfb");
  const std::string xdotool = FindOnPath("xdotool");
  if (xvfb.empty() || xdotool.empty()) GTEST_SKIP() << "needs Xvfb and xdotool";

  // Xvfb chooses a free display number and writes it to its stdout as a
  // line of its own. Its messages share the pipe: where display 0 is taken
  // (another test's server), the complaint about it comes first.
  Child server({xvfb, "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"},
               CurrentEnvironment());
  ASSERT_TRUE(server.started());
  auto display_line = [](const std::string& output) {
    for (std::size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos;
         start = end + 1) {
      const std::string line = output.substr(start, end - start);
      if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) return line;
    }
    return std::string();
  };
  std::string number;
  for (auto end = Clock::now() + std::chrono::seconds(20); Clock::now() < end && number.empty();) {
    server.Wait(std::chrono::milliseconds(100));
    number = display_line(server.output());
  }
  ASSERT_FALSE(number.empty()) << "Xvfb did not start: " << server.output();
  const std::string display = ":" + number;

  Environment env = ViewerEnvironment();
  env["DISPLAY"] = display;
  Child viewer({KUBIK_VIEWER_PATH}, env);
  ASSERT_TRUE(viewer.started());

  // Pull the plug only once the window is up and frames are flowing.
  Environment toolEnv = CurrentEnvironment();
  toolEnv["DISPLAY"] = display;
  // Both pipes are read while waiting, so neither program can stall on a
  // full pipe, and a viewer or server that ends early says why at once.
  bool shown = false;
  for (auto end = Clock::now() + std::chrono::seconds(30); Clock::now() < end && !shown;) {
    ASSERT_FALSE(viewer.Wait(std::chrono::milliseconds(0)))
        << "the viewer ended before its window showed: " << viewer.Describe() << "\n"
        << viewer.output();
    ASSERT_FALSE(server.Wait(std::chrono::milliseconds(0)))
        << "Xvfb ended: " << server.Describe() << "\n"
        << server.output();
    Child search({xdotool, "search", "--onlyvisible", "--name", "^Kubik - Cube$"}, toolEnv);
    shown = search.Wait(std::chrono::seconds(10)) && search.Exited() && search.ExitCode() == 0;
    if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(shown) << "no visible window on " << display << " after 30 s\nviewer:\n"
                     << viewer.output() << "\nXvfb:\n"
                     << server.output();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  kill(server.pid(), SIGKILL);
  ASSERT_TRUE(server.Wait(std::chrono::seconds(10)));
  ExpectEnd(viewer, kubik::kExitDisplayLost, "lost the connection to the display " + display);
}

// ---- Graphics module -------------------------------------------------------------

TEST_F(ViewerStart, MissingGraphicsModuleIsReportedBeforeAnyWindow) {
  const fs::path viewer = CopiedViewer();
  // A display that would fail differently shows the module is checked first.
  Environment env = ViewerEnvironment();
  env["DISPLAY"] = ":4711";
  Child child({viewer}, env);
  ExpectEnd(child, kubik::kExitGraphicsModuleMissing, "cannot load the graphics module libkgfx.so");
  EXPECT_EQ(child.output().find("display"), std::string::npos) << child.output();
}

TEST_F(ViewerStart, BrokenGraphicsModuleIsReported) {
  const fs::path viewer = CopiedViewer();
  std::ofstream(work_ / "lib" / kubik::kGraphicsModuleName) << "not a module\n";
  Child child({viewer}, ViewerEnvironment());
  ExpectEnd(child, kubik::kExitGraphicsModuleMissing, "cannot load the graphics module libkgfx.so");
}

TEST_F(ViewerStart, GraphicsModuleWithoutItsEntryIsReported) {
  const fs::path viewer = CopiedViewer();
  fs::copy_file(KUBIK_OTHER_MODULE_PATH, work_ / "lib" / kubik::kGraphicsModuleName);
  Child child({viewer}, ViewerEnvironment());
  ExpectEnd(child, kubik::kExitGraphicsModuleMissing,
            "the graphics module libkgfx.so has no entry CreateGraphicsSystem");
}

TEST_F(ViewerStart, ModuleNextToTheCopyIsFoundThroughTheRunPath) {
  const fs::path viewer = CopiedViewer();
  fs::copy_file(KUBIK_GFX_MODULE_PATH, work_ / "lib" / kubik::kGraphicsModuleName);
  Child child({viewer}, ViewerEnvironment());
  // Past the module check: now the missing display is what stops it.
  ExpectEnd(child, 1, "no display");
}

}  // namespace
