#include "platform/settings/settings_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstring>
#include <string>

namespace kubik {
namespace {

struct ParseCase {
  const char* text;
  SettingType type;
  uint64_t number;
  bool overflows_64;
};

TEST(ParseSettingText, NumbersAndText) {
  const ParseCase cases[] = {
      {"0", SETTING_NUMBER, 0, false},
      {"1", SETTING_NUMBER, 1, false},
      {"007", SETTING_NUMBER, 7, false},
      {"4294967295", SETTING_NUMBER, 4294967295u, false},
      {"4294967296", SETTING_NUMBER, 4294967296u, false},
      {"18446744073709551615", SETTING_NUMBER, 18446744073709551615u, false},
      {"18446744073709551616", SETTING_NUMBER, 18446744073709551615u, true},
      {"999999999999999999999999999999", SETTING_NUMBER, 18446744073709551615u, true},
      {"0x0", SETTING_NUMBER, 0, false},
      {"0x1f", SETTING_NUMBER, 31, false},
      {"0xDeadBeef", SETTING_NUMBER, 0xDEADBEEFu, false},
      {"0xffffffffffffffff", SETTING_NUMBER, 0xffffffffffffffffu, false},
      {"0x10000000000000000", SETTING_NUMBER, 0xffffffffffffffffu, true},
      {"", SETTING_TEXT, 0, false},
      {"-1", SETTING_TEXT, 0, false},
      {"+1", SETTING_TEXT, 0, false},
      {"1x", SETTING_TEXT, 0, false},
      {"one", SETTING_TEXT, 0, false},
      {" 1", SETTING_TEXT, 0, false},
      {"1 ", SETTING_TEXT, 0, false},
      {"0x", SETTING_TEXT, 0, false},
      {"0X1", SETTING_TEXT, 0, false},
      {"0x1g", SETTING_TEXT, 0, false},
      {"1f", SETTING_TEXT, 0, false},
      {"99999999999999999999999x", SETTING_TEXT, 0, false},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    const SettingValue value = ParseSettingText(c.text);
    EXPECT_EQ(value.type, c.type);
    EXPECT_EQ(value.text, c.text);
    if (c.type == SETTING_NUMBER) {
      EXPECT_EQ(value.number, c.number);
      EXPECT_EQ(value.number_overflows_64, c.overflows_64);
    }
  }
}

// Reads name into a buffer of size bytes followed by a guard byte.
struct ReadResult {
  uint32_t status;
  std::array<unsigned char, 16> bytes;
};
ReadResult Read(const SettingsStore& store, SettingType expected, const char* name, uint32_t size) {
  ReadResult result{};
  result.bytes.fill(0xAB);
  result.status = ReadSettingDword(store, expected, name, result.bytes.data(), size);
  return result;
}

uint32_t Dword(const ReadResult& r) {
  uint32_t value;
  std::memcpy(&value, r.bytes.data(), sizeof value);
  return value;
}

bool Untouched(const ReadResult& r) {
  for (unsigned char b : r.bytes) {
    if (b != 0xAB) return false;
  }
  return true;
}

TEST(ReadSettingDword, NumbersThatFitAreCopiedAsFourBytes) {
  const MapSettingsStore store{
      {"Zero", "0"}, {"Dec", "123456"}, {"Hex", "0x1F"}, {"Max", "4294967295"}};
  const std::pair<const char*, uint32_t> expected[] = {
      {"Zero", 0}, {"Dec", 123456}, {"Hex", 31}, {"Max", 4294967295u}};
  for (const auto& [name, number] : expected) {
    SCOPED_TRACE(name);
    const ReadResult r = Read(store, SETTING_NUMBER, name, 4);
    EXPECT_EQ(r.status, 1u);
    EXPECT_EQ(Dword(r), number);
    EXPECT_EQ(r.bytes[4], 0xAB) << "guard byte after the 4-byte buffer";
  }
  // A larger buffer still receives exactly 4 bytes.
  const ReadResult r = Read(store, SETTING_NUMBER, "Dec", 8);
  EXPECT_EQ(r.status, 1u);
  EXPECT_EQ(Dword(r), 123456u);
  EXPECT_EQ(r.bytes[4], 0xAB);
}

TEST(ReadSettingDword, FailuresLeaveTheBufferUntouched) {
  const MapSettingsStore store{{"Big", "4294967296"},
                               {"Huge", "0x10000000000000000"},
                               {"Huger", "123456789012345678901234567890"},
                               {"Text", "one"},
                               {"Empty", ""},
                               {"Negative", "-1"},
                               {"Spaced", " 1"},
                               {"One", "1"}};
  const std::pair<const char*, uint32_t> cases[] = {
      {"Missing", 4}, {"Big", 4},      {"Big", 8},    {"Huge", 4}, {"Huger", 16}, {"Text", 4},
      {"Empty", 4},   {"Negative", 4}, {"Spaced", 4}, {"One", 3},  {"One", 0},
  };
  for (const auto& [name, size] : cases) {
    SCOPED_TRACE(std::string(name) + " into " + std::to_string(size) + " bytes");
    const ReadResult r = Read(store, SETTING_NUMBER, name, size);
    EXPECT_EQ(r.status, 0u);
    EXPECT_TRUE(Untouched(r));
  }
  EXPECT_EQ(ReadSettingDword(store, SETTING_NUMBER, "One", nullptr, 4), 0u);
}

TEST(ReadSettingDword, TextIsReadOnlyAsTextWithItsTerminator) {
  const MapSettingsStore store{{"Word", "one"}, {"Number", "1"}, {"Empty", ""}};

  ReadResult r = Read(store, SETTING_TEXT, "Word", 4);
  EXPECT_EQ(r.status, 1u);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.bytes.data()), "one");
  EXPECT_EQ(r.bytes[4], 0xAB);

  r = Read(store, SETTING_TEXT, "Word", 3);  // no room for the terminator
  EXPECT_EQ(r.status, 0u);
  EXPECT_TRUE(Untouched(r));

  r = Read(store, SETTING_TEXT, "Number", 16);  // a number is not text
  EXPECT_EQ(r.status, 0u);
  EXPECT_TRUE(Untouched(r));

  r = Read(store, SETTING_TEXT, "Empty", 1);
  EXPECT_EQ(r.status, 1u);
  EXPECT_EQ(r.bytes[0], 0);
  EXPECT_EQ(r.bytes[1], 0xAB);
}

TEST(ReadSettingDword, MapStoreSetAndRemove) {
  MapSettingsStore store;
  store.Set("Value", "7");
  EXPECT_EQ(Dword(Read(store, SETTING_NUMBER, "Value", 4)), 7u);
  store.Set("Value", "0x8");
  EXPECT_EQ(Dword(Read(store, SETTING_NUMBER, "Value", 4)), 8u);
  store.Remove("Value");
  EXPECT_EQ(Read(store, SETTING_NUMBER, "Value", 4).status, 0u);
}

// Restores one environment variable when it goes out of scope.
class ScopedEnv {
 public:
  explicit ScopedEnv(const char* name) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  void Set(const char* value) { setenv(name_, value, 1); }
  void Unset() { unsetenv(name_); }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(EnvironmentSettings, MapsTheThreeNamesAndReadsAfresh) {
  const std::pair<const char*, const char*> names[] = {
      {"DisableSimd", "KUBIK_DISABLE_SIMD"},
      {"DisableMathSimd", "KUBIK_DISABLE_MATH_SIMD"},
      {"MathDoNotMute", "KUBIK_MATH_DO_NOT_MUTE"},
  };
  for (const auto& [setting, variable] : names) {
    SCOPED_TRACE(setting);
    EXPECT_STREQ(EnvironmentVariableForSetting(setting), variable);
    ScopedEnv env(variable);
    env.Unset();
    EXPECT_FALSE(EnvironmentSettings().Lookup(setting).has_value());
    env.Set("0x2");
    ReadResult r = Read(EnvironmentSettings(), SETTING_NUMBER, setting, 4);
    EXPECT_EQ(r.status, 1u);
    EXPECT_EQ(Dword(r), 2u);
    env.Set("2 ");
    r = Read(EnvironmentSettings(), SETTING_NUMBER, setting, 4);
    EXPECT_EQ(r.status, 0u);
    EXPECT_TRUE(Untouched(r));
  }
}

TEST(EnvironmentSettings, UnknownNamesAreAbsent) {
  ScopedEnv env("KUBIK_DISABLESIMD");
  env.Set("1");
  EXPECT_EQ(EnvironmentVariableForSetting("disablesimd"), nullptr);
  EXPECT_FALSE(EnvironmentSettings().Lookup("disablesimd").has_value());
  EXPECT_FALSE(EnvironmentSettings().Lookup("KUBIK_DISABLE_SIMD").has_value());
  EXPECT_FALSE(EnvironmentSettings().Lookup("").has_value());
}

}  // namespace
}  // namespace kubik
