// Implementation selection over simulated processors and settings values.
#include "math/cpu/selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "math/cpu/installers.h"
#include "math/cpu/processor.h"
#include "platform/settings/settings_store.h"

namespace {

using namespace kubik;

constexpr std::uint32_t kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;
constexpr std::uint32_t k3DNow = 1u << 31, kExt3DNow = 1u << 30, kAmdMmx = 1u << 22;

SimulatedProcessor Processor(std::uint32_t leaf1_edx, std::uint32_t ext_edx, bool os_sse,
                             bool os_3dnow) {
  SimulatedProcessor p;
  p.Leaf(0, {0xD, 0, 0, 0}).Leaf(1, {0, 0, 0, leaf1_edx});
  p.Leaf(0x80000000u, {0x80000008u, 0, 0, 0}).Leaf(0x80000001u, {0, 0, 0, ext_edx});
  p.Os(os_sse, os_3dnow);
  return p;
}

struct NamedProcessor {
  const char* name;
  SimulatedProcessor processor;
};

std::vector<NamedProcessor> Processors() {
  return {
      {"sse2", Processor(kMmx | kSse | kSse2, 0, true, false)},
      {"sse-only", Processor(kMmx | kSse, 0, true, false)},
      {"no-simd", Processor(kMmx, 0, false, false)},
      {"3dnow-and-sse2", Processor(kMmx | kSse | kSse2, k3DNow | kExt3DNow | kAmdMmx, true, true)},
      {"3dnow-without-mmx", Processor(kSse, k3DNow, true, true)},
      {"no-cpuid", SimulatedProcessor().WithoutCpuid().Os(false, false)},
  };
}

struct Case {
  std::vector<std::pair<std::string, std::string>> settings;
  // Expected state word per processor, in the order of Processors().
  std::uint32_t expected[6];
};

constexpr std::uint32_t kFull[6] = {kSse2Set,   kSseSet,    kNoSimdSet,
                                    k3DNowSets, k3DNowSets, kNoSimdSet};
constexpr std::uint32_t kNone[6] = {0, 0, 0, 0, 0, 0};
constexpr std::uint32_t kNo3DNow[6] = {kSse2Set, kSseSet, kNoSimdSet,
                                       kSse2Set, kSseSet, kNoSimdSet};

std::vector<Case> Cases() {
  auto c = [](std::vector<std::pair<std::string, std::string>> settings,
              const std::uint32_t(&expected)[6]) {
    Case result{std::move(settings), {}};
    for (int i = 0; i < 6; ++i) result.expected[i] = expected[i];
    return result;
  };
  return {
      c({}, kFull),
      c({{"DisableSimd", "1"}}, kNone),
      c({{"DisableSimd", "0x1"}}, kNone),
      c({{"DisableSimd", "1"}, {"DisableMathSimd", "0"}}, kFull),
      c({{"DisableMathSimd", "1"}}, kNone),
      c({{"DisableSimd", "2"}}, kNo3DNow),
      c({{"DisableSimd", "1"}, {"DisableMathSimd", "2"}}, kNo3DNow),
      c({{"DisableSimd", "3"}}, kFull),
      c({{"DisableSimd", "4294967295"}}, kFull),
      c({{"DisableSimd", "1x"}}, kFull),
      c({{"DisableSimd", "one"}}, kFull),
      c({{"DisableSimd", " 1"}}, kFull),
      c({{"DisableSimd", "4294967297"}}, kFull),  // 2^32 + 1: does not fit 4 bytes
      c({{"DisableSimd", "1"}, {"DisableMathSimd", "one"}}, kNone),
      c({{"DisableSimd", "1"}, {"DisableMathSimd", "8589934593"}}, kNone),
  };
}

TEST(Selection, EveryProcessorUnderEverySetting) {
  const std::vector<NamedProcessor> processors = Processors();
  for (const Case& test : Cases()) {
    MapSettingsStore settings;
    std::string label;
    for (const auto& [name, value] : test.settings) {
      settings.Set(name, value);
      label += name + "=" + value + " ";
    }
    for (std::size_t i = 0; i < processors.size(); ++i) {
      OperationTable table{};
      Selector selector;
      EXPECT_EQ(selector.Select(table, processors[i].processor, settings), test.expected[i])
          << label << "on " << processors[i].name;
      EXPECT_EQ(selector.implementation_set(), test.expected[i]);
      for (unsigned slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_NE(table.Address(slot), nullptr) << SlotName(slot);
      }
    }
  }
}

TEST(Selection, DisabledSimdLeavesReferenceWithX87Tuning) {
  MapSettingsStore settings{{"DisableSimd", "1"}};
  OperationTable selected{}, expected{};
  Selector().Select(selected, Processors()[3].processor, settings);
  FindImplementationFamily("x87")->install(expected, Processors()[3].processor);
  for (unsigned slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(selected.Address(slot), expected.Address(slot)) << slot;
  }
}

KMMATRIX* Sentinel(KMMATRIX* out, const KMMATRIX*, const KMMATRIX*) {
  return out;
}

TEST(Selection, SecondCallReturnsTheFirstResultAndChangesNothing) {
  const SimulatedProcessor processor = Processors()[0].processor;
  OperationTable table{};
  Selector selector;
  MapSettingsStore none;
  EXPECT_EQ(selector.Select(table, processor, none), kSse2Set);
  table.Set<Slot::KMMatrixMultiply>(&Sentinel);
  MapSettingsStore disabled{{"DisableSimd", "1"}};
  EXPECT_EQ(selector.Select(table, processor, disabled), kSse2Set);
  EXPECT_EQ(table.Get<Slot::KMMatrixMultiply>(), &Sentinel);
}

TEST(Selection, ThreeDNowInstallerGroupsFollowTheFeatureFlags) {
  OperationTable table{};
  const std::vector<NamedProcessor> processors = Processors();
  EXPECT_EQ(Install3DNowSets(table, processors[3].processor),
            k3DNowBaseGroup | kExtended3DNowGroup | kAmdSseArrayGroup);
  // 3DNow! reported without MMX: only the SSE array transforms.
  EXPECT_EQ(Install3DNowSets(table, processors[4].processor), kAmdSseArrayGroup);
  // Extended 3DNow! needs the AMD MMX extensions too.
  EXPECT_EQ(Install3DNowSets(table, Processor(kMmx, k3DNow | kExt3DNow, false, true)),
            k3DNowBaseGroup);
}

TEST(ProcessorQuery, FeatureFlagsAndSimdSupportFromCpuid) {
  const std::vector<NamedProcessor> processors = Processors();
  EXPECT_EQ(QuerySimdSupport(processors[0].processor), kSimdSse | kSimdSse2);
  EXPECT_EQ(QuerySimdSupport(processors[1].processor), kSimdSse);
  EXPECT_EQ(QuerySimdSupport(processors[5].processor), 0u);
  EXPECT_EQ(GetProcessorFeatureFlags(processors[3].processor),
            kFeatureAlways | kFeatureStandardLeaves | kFeatureExtendedLeaves | kFeatureMmx |
                kFeatureSse | kFeature3DNow | kFeatureExtended3DNow | kFeatureAmdMmx);

  // Highest standard leaf 0: nothing else is looked at.
  SimulatedProcessor no_leaves;
  no_leaves.Leaf(1, {0, 0, 0, kMmx | kSse | kSse2});
  EXPECT_EQ(QuerySimdSupport(no_leaves), 0u);
  EXPECT_EQ(GetProcessorFeatureFlags(no_leaves), kFeatureAlways);

  // Highest extended leaf 0x80000000 exactly: the extended bits stay clear.
  SimulatedProcessor no_extended = Processor(kMmx, k3DNow, false, true);
  no_extended.Leaf(0x80000000u, {0x80000000u, 0, 0, 0});
  EXPECT_EQ(GetProcessorFeatureFlags(no_extended),
            kFeatureAlways | kFeatureStandardLeaves | kFeatureMmx);
}

TEST(ProcessorQuery, RealProcessorAgreesWithTheCompiler) {
  // Every x86-64 processor has SSE and SSE2, and its OS saves their state.
  EXPECT_EQ(QuerySimdSupport() & (kSimdSse | kSimdSse2), kSimdSse | kSimdSse2);
  EXPECT_TRUE(RealProcessor().OsProcessorFeature(OsFeature::FEATURE_SSE));
  EXPECT_TRUE(GetProcessorFeatureFlags() & kFeatureSse);
}

TEST(ImplementationFamilies, RegistryNamesEveryFamilyOnce) {
  std::vector<std::string> names;
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    names.push_back(family.name);
    EXPECT_EQ(FindImplementationFamily(family.name), &family);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"reference", "x87", "sse", "sse2", "3dnow"}));
  EXPECT_EQ(FindImplementationFamily("avx"), nullptr);
  EXPECT_TRUE(FindImplementationFamily("sse2")->can_run(RealProcessor()));
}

}  // namespace
