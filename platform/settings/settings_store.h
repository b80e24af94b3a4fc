// Settings store: named values that are either a 32-bit number or text.
// The process store is the environment; tests use a map with the same parser.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kubik {

enum SettingType : uint32_t { SETTING_NUMBER = 1, SETTING_TEXT = 2 };

struct SettingValue {
  SettingType type = SETTING_TEXT;
  // For SETTING_NUMBER: the value, saturated at UINT64_MAX when it overflows 64 bits.
  uint64_t number = 0;
  bool number_overflows_64 = false;
  // The raw text, whatever the type.
  std::string text;
};

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Absent names give std::nullopt.
  virtual std::optional<SettingValue> Lookup(std::string_view name) const = 0;
};

// "DisableSimd" -> KUBIK_DISABLE_SIMD, "DisableMathSimd" -> KUBIK_DISABLE_MATH_SIMD,
// "MathDoNotMute" -> KUBIK_MATH_DO_NOT_MUTE. The environment is read on every lookup.
const SettingsStore& EnvironmentSettings();

// Environment variable behind a setting name, or null for names the store does not know.
const char* EnvironmentVariableForSetting(std::string_view name);

// Name -> raw text, parsed like the environment's values.
class MapSettingsStore : public SettingsStore {
 public:
  MapSettingsStore() = default;
  MapSettingsStore(std::initializer_list<std::pair<const std::string, std::string>> values)
      : values_(values) {}

  void Set(std::string name, std::string raw_text) {
    values_[std::move(name)] = std::move(raw_text);
  }
  void Remove(std::string_view name);

  std::optional<SettingValue> Lookup(std::string_view name) const override;

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

// A number is the whole text as decimal digits, or "0x" followed by hex digits: no sign, no
// whitespace, not empty. Anything else is text.
SettingValue ParseSettingText(std::string_view text);

// Copies the named value into out when it exists, has the expected type and fits in size bytes;
// returns 1 then, else 0 with out untouched. A number's data is 4 bytes, and a number above
// 4294967295 fits no buffer. Text is copied with its terminating zero byte.
uint32_t ReadSettingDword(const SettingsStore& store, SettingType expected, std::string_view name,
                          void* out, uint32_t size);

}  // namespace kubik
