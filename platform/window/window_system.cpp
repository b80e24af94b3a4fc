// Common part of the window-system layer: classes, windows, the queue and
// dispatch. The backend only opens native windows and feeds input.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/headless.h"
#include "platform/window/window.h"

namespace kubik {

struct InstanceToken {
  int unused;
};

namespace window_internal {
namespace {

struct RegisteredClass {
  ClassId id;
  WindowClass record;
  std::string name;  // record.className points into this
  InstanceHandle instance;
};

struct State {
  Backend* backend = nullptr;
  std::map<std::string, RegisteredClass> classes;
  ClassId nextClassId = 1;
  // Destroyed windows stay here (marked dead) until a reset, so a handle
  // kept by someone never dangles.
  std::vector<std::unique_ptr<TopLevelWindow>> windows;
  std::deque<WindowMessage> queue;
};

State& GetState() {
  // Never destroyed: windows go away with the process, as on a desktop.
  static State* state = new State;
  return *state;
}

Backend& ActiveBackend() {
  State& s = GetState();
  if (s.backend == nullptr) s.backend = &DesktopBackend();
  return *s.backend;
}

TopLevelWindow* Find(WindowHandle handle) {
  if (handle == nullptr) return nullptr;
  for (auto& w : GetState().windows) {
    if (w.get() == handle) return w.get();
  }
  return nullptr;
}

TopLevelWindow* FindLive(WindowHandle handle) {
  TopLevelWindow* w = Find(handle);
  return (w != nullptr && w->alive) ? w : nullptr;
}

bool AnyLiveWindow() {
  for (auto& w : GetState().windows) {
    if (w->alive) return true;
  }
  return false;
}

}  // namespace

std::uint32_t MessageTime() {
  static const auto start = std::chrono::steady_clock::now();
  auto elapsed = std::chrono::steady_clock::now() - start;
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void QueueMessage(WindowHandle window, std::uint32_t code, WParam wParam, LParam lParam) {
  WindowMessage m{};
  m.window = window;
  m.code = code;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = MessageTime();
  m.cursor = ActiveBackend().CursorPosition();
  GetState().queue.push_back(m);
}

TopLevelWindow* FrontWindow() {
  auto& windows = GetState().windows;
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if ((*it)->alive) return it->get();
  }
  return nullptr;
}

}  // namespace window_internal

using namespace window_internal;

InstanceHandle GetProcessInstance() {
  static InstanceToken token{0};
  return &token;
}

bool UseHeadlessWindowSystem() {
  if (AnyLiveWindow()) return false;
  GetState().backend = &HeadlessBackendInstance();
  return true;
}

bool UseDesktopWindowSystem() {
  if (AnyLiveWindow()) return false;
  GetState().backend = &DesktopBackend();
  return true;
}

bool UsingHeadlessWindowSystem() {
  return &ActiveBackend() == &HeadlessBackendInstance();
}

void ResetWindowSystem() {
  State& s = GetState();
  for (auto& w : s.windows) {
    if (w->alive) ActiveBackend().DestroyNativeWindow(*w);
  }
  s.windows.clear();
  s.classes.clear();
  s.queue.clear();
  s.nextClassId = 1;
  ResetHeadlessBackend();
}

ClassId RegisterWindowClass(const WindowClass* windowClass) {
  if (windowClass == nullptr || windowClass->className == nullptr ||
      windowClass->className[0] == '\0' || windowClass->procedure == nullptr) {
    return 0;
  }
  if (ActiveBackend().RegistrationFails()) return 0;
  State& s = GetState();
  std::string name = windowClass->className;
  if (s.classes.count(name) != 0) return 0;
  if (s.nextClassId == 0) return 0;  // every identifier handed out
  RegisteredClass& c = s.classes[name];
  c.id = s.nextClassId++;
  c.name = name;
  c.record = *windowClass;
  c.record.className = c.name.c_str();
  c.instance = windowClass->instance;
  return c.id;
}

bool UnregisterWindowClass(const char* className, InstanceHandle instance) {
  if (className == nullptr) return false;
  State& s = GetState();
  auto it = s.classes.find(className);
  if (it == s.classes.end() || it->second.instance != instance) return false;
  for (auto& w : s.windows) {
    if (w->alive && w->className == className) return false;
  }
  s.classes.erase(it);
  return true;
}

WindowHandle CreateTopLevelWindow(const char* className, const char* title, std::uint32_t style,
                                  int x, int y, int width, int height, WindowHandle parent,
                                  InstanceHandle instance) {
  if (className == nullptr) return nullptr;
  if (parent != nullptr && FindLive(parent) == nullptr) return nullptr;
  State& s = GetState();
  auto it = s.classes.find(className);
  if (it == s.classes.end()) {
    std::fprintf(stderr, "window system: class \"%s\" is not registered\n", className);
    return nullptr;
  }
  const char* shownTitle = title != nullptr ? title : "";
  std::unique_ptr<TopLevelWindow> native =
      ActiveBackend().CreateNativeWindow(shownTitle, style, x, y, width, height);
  if (!native) return nullptr;
  native->className = className;
  native->title = shownTitle;
  native->style = style;
  native->procedure = it->second.record.procedure;
  native->instance = instance;
  TopLevelWindow* w = native.get();
  s.windows.push_back(std::move(native));
  SendWindowMessage(w, MSG_CREATE, 0, 0);
  return w;
}

bool ShowTopLevelWindow(WindowHandle window, int showCommand) {
  TopLevelWindow* w = FindLive(window);
  if (w == nullptr) return false;
  bool wasVisible = w->visible;
  ActiveBackend().ShowNativeWindow(*w, showCommand);
  w->visible = showCommand != SHOW_HIDE;
  SendWindowMessage(w, MSG_SHOW, w->visible ? 1 : 0, 0);
  return wasVisible;
}

bool UpdateTopLevelWindow(WindowHandle window) {
  TopLevelWindow* w = FindLive(window);
  if (w == nullptr) return false;
  SendWindowMessage(w, MSG_PAINT, 0, 0);
  return true;
}

bool DestroyTopLevelWindow(WindowHandle window) {
  TopLevelWindow* w = FindLive(window);
  if (w == nullptr) return false;
  SendWindowMessage(w, MSG_DESTROY, 0, 0);
  // The procedure may have destroyed it already.
  if (!w->alive) return true;
  w->alive = false;
  w->visible = false;
  ActiveBackend().DestroyNativeWindow(*w);
  auto& q = GetState().queue;
  q.erase(std::remove_if(q.begin(), q.end(), [w](const WindowMessage& m) { return m.window == w; }),
          q.end());
  return true;
}

bool IsLiveWindow(WindowHandle window) {
  return FindLive(window) != nullptr;
}

bool GetClientSize(WindowHandle window, int* width, int* height) {
  TopLevelWindow* w = FindLive(window);
  if (w == nullptr) return false;
  if (width != nullptr) *width = w->clientWidth;
  if (height != nullptr) *height = w->clientHeight;
  return true;
}

bool PeekWindowMessage(WindowMessage* message, WindowHandle window, std::uint32_t minCode,
                       std::uint32_t maxCode, std::uint32_t removeFlag) {
  if (message == nullptr) return false;
  ActiveBackend().PumpInput();
  auto& q = GetState().queue;
  bool anyCode = minCode == 0 && maxCode == 0;
  for (auto it = q.begin(); it != q.end(); ++it) {
    // A window filter still lets the thread's own messages (MSG_QUIT) through.
    if (window != nullptr && it->window != nullptr && it->window != window) continue;
    if (!anyCode && (it->code < minCode || it->code > maxCode)) continue;
    *message = *it;
    if ((removeFlag & PEEK_REMOVE) != 0) q.erase(it);
    return true;
  }
  return false;
}

bool TranslateWindowMessage(const WindowMessage* message) {
  return message != nullptr && (message->code == MSG_KEYDOWN || message->code == MSG_KEYUP);
}

ProcResult DispatchWindowMessage(const WindowMessage* message) {
  if (message == nullptr) return 0;
  return SendWindowMessage(message->window, message->code, message->wParam, message->lParam);
}

ProcResult SendWindowMessage(WindowHandle window, std::uint32_t code, WParam wParam,
                             LParam lParam) {
  TopLevelWindow* w = FindLive(window);
  if (w == nullptr || w->procedure == nullptr) return 0;
  return w->procedure(w, code, wParam, lParam);
}

bool PostWindowMessage(WindowHandle window, std::uint32_t code, WParam wParam, LParam lParam) {
  if (window != nullptr && FindLive(window) == nullptr) return false;
  QueueMessage(window, code, wParam, lParam);
  return true;
}

void PostQuitMessage(int exitCode) {
  QueueMessage(nullptr, MSG_QUIT, static_cast<WParam>(static_cast<unsigned>(exitCode)), 0);
}

ProcResult DefaultWindowProc(WindowHandle window, std::uint32_t code, WParam /*wParam*/,
                             LParam /*lParam*/) {
  if (code == MSG_CLOSE) DestroyTopLevelWindow(window);
  return 0;
}

int ShowMessageBox(WindowHandle /*owner*/, const char* text, const char* caption,
                   std::uint32_t flags) {
  const char* shownText = text != nullptr ? text : "";
  const char* shownCaption = caption != nullptr ? caption : "Error";
  if (!ActiveBackend().ShowNativeMessageBox(shownText, shownCaption, flags)) {
    std::fprintf(stderr, "%s: %s\n", shownCaption, shownText);
    std::fflush(stderr);
  }
  return MESSAGE_BOX_RESULT_OK;
}

}  // namespace kubik
