#include "platform/settings/settings_store.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace kubik {
namespace {

struct EnvironmentName {
  std::string_view setting;
  const char* variable;
};

constexpr EnvironmentName kEnvironmentNames[] = {
    {"DisableSimd", "KUBIK_DISABLE_SIMD"},
    {"DisableMathSimd", "KUBIK_DISABLE_MATH_SIMD"},
    {"MathDoNotMute", "KUBIK_MATH_DO_NOT_MUTE"},
};

int DigitValue(char c, unsigned base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16) {
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  }
  return -1;
}

class EnvironmentStore final : public SettingsStore {
 public:
  std::optional<SettingValue> Lookup(std::string_view name) const override {
    const char* variable = EnvironmentVariableForSetting(name);
    if (variable == nullptr) return std::nullopt;
    const char* raw = std::getenv(variable);
    if (raw == nullptr) return std::nullopt;
    return ParseSettingText(raw);
  }
};

}  // namespace

const char* EnvironmentVariableForSetting(std::string_view name) {
  for (const EnvironmentName& entry : kEnvironmentNames) {
    if (entry.setting == name) return entry.variable;
  }
  return nullptr;
}

const SettingsStore& EnvironmentSettings() {
  static const EnvironmentStore store;
  return store;
}

void MapSettingsStore::Remove(std::string_view name) {
  auto it = values_.find(name);
  if (it != values_.end()) values_.erase(it);
}

std::optional<SettingValue> MapSettingsStore::Lookup(std::string_view name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return ParseSettingText(it->second);
}

SettingValue ParseSettingText(std::string_view text) {
  SettingValue value;
  value.type = SETTING_TEXT;
  value.text = std::string(text);

  unsigned base = 10;
  std::string_view digits = text;
  if (text.size() >= 2 && text[0] == '0' && text[1] == 'x') {
    base = 16;
    digits = text.substr(2);
  }
  if (digits.empty()) return value;

  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t number = 0;
  bool overflow = false;
  for (char c : digits) {
    const int digit = DigitValue(c, base);
    if (digit < 0) return value;
    // Keep scanning after an overflow: a later non-digit still makes the whole value text.
    if (overflow || number > (kMax - static_cast<uint64_t>(digit)) / base) {
      overflow = true;
      continue;
    }
    number = number * base + static_cast<uint64_t>(digit);
  }
  value.type = SETTING_NUMBER;
  value.number = overflow ? kMax : number;
  value.number_overflows_64 = overflow;
  return value;
}

uint32_t ReadSettingDword(const SettingsStore& store, SettingType expected, std::string_view name,
                          void* out, uint32_t size) {
  if (out == nullptr) return 0;
  const std::optional<SettingValue> value = store.Lookup(name);
  if (!value) return 0;
  if (value->type != expected) return 0;

  if (expected == SETTING_NUMBER) {
    if (value->number_overflows_64 || value->number > std::numeric_limits<uint32_t>::max()) {
      return 0;
    }
    const uint32_t number = static_cast<uint32_t>(value->number);
    if (size < sizeof number) return 0;
    std::memcpy(out, &number, sizeof number);
    return 1;
  }

  const std::size_t bytes = value->text.size() + 1;
  if (bytes > size) return 0;
  std::memcpy(out, value->text.c_str(), bytes);
  return 1;
}

}  // namespace kubik
