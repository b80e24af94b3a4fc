// Every settings value the library reads, set in the real process
// environment to empty, negative, text, hexadecimal, overflowing and
// whitespace-padded values: what the store reads, what the selection and
// the debug mute then do. Anything that is not a whole number from 0 to
// 4294967295 counts as absent.
#include <gtest/gtest.h>
#include <kubik/kmath.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "math/cpu/processor.h"
#include "math/cpu/selection.h"
#include "math/diag/diagnostics.h"
#include "platform/settings/settings_store.h"
#include "tests/math/diag/debug_capture.h"

namespace kubik {
namespace {

// Values that are not a number the store can hand out.
const std::vector<std::string>& NotNumbers() {
  static const std::vector<std::string> values = {
      // empty and signs
      "", "-", "-1", "-0", "+1", "--1",
      // text
      "one", "yes", "true", "on", "1.0", "1e0", "1,0", "\xEF\xBC\x91" /* fullwidth 1 */,
      // hexadecimal that is not the accepted form
      "0x", "0X1", "0x-1", "0x+1", "0x 1", "0xg", "x1", "1h", "0b1", "#1",
      // whitespace anywhere
      " 1", "1 ", "\t1", "1\t", "1\n", "\n1", "1\r", " 0x1", "0x1 ", "1 1", " ", "\t",
      // overflow of 32 and of 64 bits
      "4294967296", "0x100000000", "18446744073709551615", "18446744073709551616",
      "0x1ffffffffffffffff", std::string(200, '9'), "0x" + std::string(100, 'f'),
      // text made of digits and something else
      std::string(100, '9') + "x"};
  return values;
}

struct NumberForm {
  std::string text;
  std::uint32_t value;
};

// Spellings of numbers, all accepted.
const std::vector<NumberForm>& Numbers() {
  static const std::vector<NumberForm> values = {
      {"0", 0},
      {"00", 0},
      {"0x0", 0},
      {"1", 1},
      {"01", 1},
      {"0x1", 1},
      {"0x00000001", 1},
      {std::string(60, '0') + "1", 1},
      {"0x" + std::string(60, '0') + "1", 1},
      {"2", 2},
      {"0x2", 2},
      {"0xA", 10},
      {"0xa", 10},
      {"4294967295", 4294967295u},
      {"0xFFFFFFFF", 4294967295u},
      {"0xffffffff", 4294967295u},
  };
  return values;
}

class ScopedEnv {
 public:
  explicit ScopedEnv(const char* name) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  void Set(const std::string& value) { setenv(name_, value.c_str(), 1); }
  void Unset() { unsetenv(name_); }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

std::string Printable(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text.substr(0, 40)) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c >= 0x7F) {
      out += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + (text.size() > 40 ? "...\"" : "\"");
}

constexpr const char* kSettingNames[] = {"DisableSimd", "DisableMathSimd", "MathDoNotMute"};

// ---- The store ---------------------------------------------------------------------

TEST(SettingsValues, StoreReadsOnlyWholeNumbersFromTheEnvironment) {
  for (const char* setting : kSettingNames) {
    SCOPED_TRACE(setting);
    ScopedEnv env(EnvironmentVariableForSetting(setting));
    for (const std::string& text : NotNumbers()) {
      SCOPED_TRACE(Printable(text));
      env.Set(text);
      unsigned char buffer[8];
      std::memset(buffer, 0xAB, sizeof buffer);
      EXPECT_EQ(ReadSettingDword(EnvironmentSettings(), SETTING_NUMBER, setting, buffer, 4), 0u);
      for (unsigned char b : buffer) ASSERT_EQ(b, 0xAB) << "buffer written on failure";
    }
    for (const NumberForm& form : Numbers()) {
      SCOPED_TRACE(Printable(form.text));
      env.Set(form.text);
      std::uint32_t value = 0xDEADBEEF;
      EXPECT_EQ(ReadSettingDword(EnvironmentSettings(), SETTING_NUMBER, setting, &value, 4), 1u);
      EXPECT_EQ(value, form.value);
    }
  }
}

// ---- Selection ---------------------------------------------------------------------

class SelectionSettings : public ::testing::Test {
 protected:
  void SetUp() override { ResetSelectionForTesting(); }
  void TearDown() override { ResetSelectionForTesting(); }

  // Runs the process-wide selection afresh through a first math call.
  static std::uint32_t ProcessSelection() {
    ResetSelectionForTesting();
    KMMATRIX a, b, product;
    KMMatrixTranslation(&a, 1.0f, 2.0f, 3.0f);
    KMMatrixScaling(&b, 2.0f, 2.0f, 2.0f);
    KMMatrixMultiply(&product, &a, &b);
    EXPECT_EQ(product._41, 2.0f);
    return ImplementationSet();
  }

  // What the pure selection makes of the same settings on this processor.
  static std::uint32_t ExpectedSelection(const MapSettingsStore& settings) {
    OperationTable table{};
    return Selector().Select(table, RealProcessor(), settings);
  }

  ScopedEnv family_{"KUBIK_MATH_FAMILY"};
  ScopedEnv disable_{"KUBIK_DISABLE_SIMD"};
  ScopedEnv disableMath_{"KUBIK_DISABLE_MATH_SIMD"};
};

TEST_F(SelectionSettings, ValuesThatAreNotNumbersAreIgnored) {
  const std::uint32_t usual = ProcessSelection();
  EXPECT_EQ(usual, ExpectedSelection({}));
  for (ScopedEnv* env : {&disable_, &disableMath_}) {
    for (const std::string& text : NotNumbers()) {
      SCOPED_TRACE(Printable(text));
      env->Set(text);
      EXPECT_EQ(ProcessSelection(), usual);
    }
    env->Unset();
  }
  // A value that is not a number does not cancel the other setting.
  disable_.Set("1");
  for (const std::string& text : NotNumbers()) {
    SCOPED_TRACE(Printable(text));
    disableMath_.Set(text);
    EXPECT_EQ(ProcessSelection(), kNoSimdSet);
  }
}

TEST_F(SelectionSettings, EverySpellingOfANumberActsAsThatNumber) {
  for (const auto& [env, name] :
       {std::pair{&disable_, "DisableSimd"}, std::pair{&disableMath_, "DisableMathSimd"}}) {
    for (const NumberForm& form : Numbers()) {
      SCOPED_TRACE(std::string(name) + "=" + Printable(form.text));
      env->Set(form.text);
      const std::uint32_t expected = ExpectedSelection({{name, std::to_string(form.value)}});
      EXPECT_EQ(ProcessSelection(), expected);
      if (form.value == 1) {
        EXPECT_EQ(expected, kNoSimdSet);
      }
    }
    env->Unset();
  }
}

TEST_F(SelectionSettings, EveryFamilyThatRunsHereCanBeForced) {
  // Over the settings too: a forced family wins even against "no SIMD".
  disable_.Set("1");
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    if (!family.can_run(RealProcessor())) continue;
    SCOPED_TRACE(family.name);
    family_.Set(family.name);
    EXPECT_EQ(ProcessSelection(), family.implementation_set);
    OperationTable expected{};
    family.install(expected, RealProcessor());
    for (unsigned slot = 0; slot < kSlotCount; ++slot) {
      EXPECT_EQ(ProcessOperationTable().Address(slot), expected.Address(slot)) << slot;
    }
  }
}

TEST_F(SelectionSettings, BadFamilyNamesAreReportedAndIgnored) {
  const std::uint32_t usual = ProcessSelection();
  const std::string values[] = {"sse9",   "SSE2",    " sse2",      "sse2 ",
                                "sse2\n", "x87,sse", "reference;", std::string(300, 'a')};
  for (const std::string& value : values) {
    SCOPED_TRACE(Printable(value));
    family_.Set(value);
    testing::DebugCapture capture;
    EXPECT_EQ(ProcessSelection(), usual);
    ASSERT_FALSE(capture.lines().empty());
    EXPECT_EQ(capture.lines()[0].rfind("KM: (WARN) KUBIK_MATH_FAMILY", 0), 0u)
        << capture.lines()[0];
  }
  // Empty is the same as unset, and says nothing.
  family_.Set("");
  testing::DebugCapture capture;
  EXPECT_EQ(ProcessSelection(), usual);
  EXPECT_TRUE(capture.lines().empty());
}

// ---- Debug mute ----------------------------------------------------------------------

// No module is ever loaded: only the setting matters.
class NoModules final : public ModuleLoader {
 public:
  ModuleHandle FindLoadedModule(const char*) override { return nullptr; }
  ModuleHandle LoadModule(const char*) override { return nullptr; }
  void* FindModuleExport(ModuleHandle, const char*) override { return nullptr; }
};

TEST(DoNotMuteSetting, OnlyANonzeroNumberForbidsMuting) {
  ScopedEnv env("KUBIK_MATH_DO_NOT_MUTE");
  NoModules loader;
  auto forbidden = [&loader] {
    DebugMuteState state;
    MuteDebugOutput(state, 1, loader, EnvironmentSettings());
    return state.DoNotMuteSetting.load();
  };
  for (const std::string& text : NotNumbers()) {
    SCOPED_TRACE(Printable(text));
    env.Set(text);
    EXPECT_EQ(forbidden(), 0);
  }
  for (const NumberForm& form : Numbers()) {
    SCOPED_TRACE(Printable(form.text));
    env.Set(form.text);
    EXPECT_EQ(forbidden(), form.value != 0 ? 1 : 0);
  }
}

}  // namespace
}  // namespace kubik
