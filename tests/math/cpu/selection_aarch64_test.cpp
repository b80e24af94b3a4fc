// Implementation selection on 64-bit ARM, over simulated hardware-capability
// words and settings values: the NEON family or the reference, nothing else.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "math/cpu/processor.h"
#include "math/cpu/selection.h"
#include "math/reference/reference.h"
#include "math/simd/neon/family.h"
#include "platform/settings/settings_store.h"

namespace {

using namespace kubik;

struct NamedProcessor {
  const char* name;
  SimulatedProcessor processor;
  bool has_neon;
};

std::vector<NamedProcessor> Processors() {
  std::vector<NamedProcessor> processors = {
      {"asimd", {}, true},
      {"asimd-and-fp16", {}, true},
      {"fp-only", {}, false},
      {"nothing", {}, false},
  };
  processors[0].processor.Hwcaps(kHwcapFp | kHwcapAsimd);
  processors[1].processor.Hwcaps(kHwcapFp | kHwcapAsimd | kHwcapFphp | kHwcapAsimdhp);
  processors[2].processor.Hwcaps(kHwcapFp);
  processors[3].processor.Hwcaps(0);
  return processors;
}

struct Case {
  std::vector<std::pair<std::string, std::string>> settings;
  bool simd_allowed;
};

TEST(Aarch64Selection, EveryProcessorUnderEverySetting) {
  const Case cases[] = {
      {{}, true},
      {{{"DisableSimd", "1"}}, false},
      {{{"DisableMathSimd", "1"}}, false},
      {{{"DisableSimd", "1"}, {"DisableMathSimd", "0"}}, true},
      // 2 turns off only the 3DNow! family, which this processor never has.
      {{{"DisableSimd", "2"}}, true},
      {{{"DisableSimd", "one"}}, true},
      {{{"DisableSimd", "4294967297"}}, true},
  };
  for (const Case& test : cases) {
    MapSettingsStore settings;
    std::string label;
    for (const auto& [name, value] : test.settings) {
      settings.Set(name, value);
      label += name + "=" + value + " ";
    }
    for (const NamedProcessor& p : Processors()) {
      OperationTable table{};
      Selector selector;
      const std::uint32_t expected = test.simd_allowed && p.has_neon ? kNeonSet : kNoSimdSet;
      EXPECT_EQ(selector.Select(table, p.processor, settings), expected) << label << p.name;
      // The table holds the neon function in exactly the family's slots.
      OperationTable neon_table{};
      neon_table.CopyFrom(ReferenceTable());
      if (expected == kNeonSet) neon::Install(neon_table);
      for (unsigned slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(table.Address(slot), neon_table.Address(slot))
            << label << p.name << " " << SlotName(slot);
      }
    }
  }
}

KMMATRIX* Sentinel(KMMATRIX* out, const KMMATRIX*, const KMMATRIX*) {
  return out;
}

TEST(Aarch64Selection, SecondCallReturnsTheFirstResultAndChangesNothing) {
  OperationTable table{};
  Selector selector;
  MapSettingsStore none;
  EXPECT_EQ(selector.Select(table, Processors()[0].processor, none), kNeonSet);
  table.Set<Slot::KMMatrixMultiply>(&Sentinel);
  MapSettingsStore disabled{{"DisableSimd", "1"}};
  EXPECT_EQ(selector.Select(table, Processors()[0].processor, disabled), kNeonSet);
  EXPECT_EQ(table.Get<Slot::KMMatrixMultiply>(), &Sentinel);
}

TEST(Aarch64Processor, RealProcessorReportsAdvancedSimdAndNoX86Features) {
  const HardwareCapabilities caps = RealProcessor().Capabilities();
  EXPECT_NE(caps.hwcap & kHwcapAsimd, 0u);
  EXPECT_NE(caps.hwcap & kHwcapFp, 0u);
  EXPECT_FALSE(RealProcessor().HasCpuid());
  EXPECT_EQ(QuerySimdSupport(), 0u);
  EXPECT_FALSE(RealProcessor().OsProcessorFeature(OsFeature::FEATURE_3DNOW));
}

TEST(Aarch64Families, RegistryHoldsReferenceAndNeon) {
  std::vector<std::string> names;
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    names.push_back(family.name);
    EXPECT_EQ(FindImplementationFamily(family.name), &family);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"reference", "neon"}));
  for (const char* x86 : {"x87", "sse", "sse2", "3dnow"}) {
    EXPECT_EQ(FindImplementationFamily(x86), nullptr) << x86;
  }
  EXPECT_TRUE(FindImplementationFamily("neon")->can_run(RealProcessor()));
  EXPECT_FALSE(FindImplementationFamily("neon")->can_run(Processors()[2].processor));
}

// KUBIK_MATH_FAMILY binds either family in the process; an x86 family's
// name is unknown here and leaves the usual choice.
TEST(Aarch64Selection, FamilyVariableForcesEitherFamily) {
  const struct {
    const char* value;
    std::uint32_t expected;
  } cases[] = {{"reference", kNoSimdSet}, {"neon", kNeonSet}, {"sse2", kNeonSet}};
  for (const auto& c : cases) {
    setenv("KUBIK_MATH_FAMILY", c.value, 1);
    ResetSelectionForTesting();
    KMMATRIX a, b, product;
    KMMatrixIdentity(&a);
    KMMatrixIdentity(&b);
    KMMatrixMultiply(&product, &a, &b);
    EXPECT_EQ(ImplementationSet(), c.expected) << c.value;
    const bool neon_bound =
        ProcessOperationTable().Get<Slot::KMMatrixMultiply>() == &neon::KMMatrixMultiply;
    EXPECT_EQ(neon_bound, c.expected == kNeonSet) << c.value;
  }
  unsetenv("KUBIK_MATH_FAMILY");
  ResetSelectionForTesting();
}

}  // namespace
