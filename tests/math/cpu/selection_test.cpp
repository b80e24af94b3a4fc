// Implementation selection over simulated processors and settings values.
#include "math/cpu/selection.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

// ---- AVX2 and AVX-512 ----------------------------------------------------------

constexpr std::uint32_t kLeaf1Avx2 = kEcxFma | kEcxOsXsave | kEcxAvx | kEcxF16c;
constexpr std::uint32_t kLeaf7Avx512 =
    kLeaf7EbxAvx2 | kLeaf7EbxAvx512F | kLeaf7EbxAvx512Dq | kLeaf7EbxAvx512Bw | kLeaf7EbxAvx512Vl;
constexpr std::uint64_t kYmmSaved = 0x7, kZmmSaved = 0xe7;

// An SSE2 processor with the given leaf 1 ECX, leaf 7 EBX and saved state.
SimulatedProcessor VectorProcessor(std::uint32_t leaf1_ecx, std::uint32_t leaf7_ebx,
                                   std::uint64_t xcr0) {
  SimulatedProcessor p = Processor(kMmx | kSse | kSse2, 0, true, false);
  p.Leaf(1, {0, 0, leaf1_ecx, kMmx | kSse | kSse2}).Leaf(7, {0, leaf7_ebx, 0, 0});
  p.SavedState(xcr0);
  return p;
}

TEST(Selection, VectorFamiliesNeedTheFeaturesAndTheSavedRegisters) {
  struct Expectation {
    const char* name;
    SimulatedProcessor processor;
    std::uint32_t expected;
  };
  const Expectation cases[] = {
      {"avx-512 with zmm state", VectorProcessor(kLeaf1Avx2, kLeaf7Avx512, kZmmSaved), kAvx512Set},
      {"avx-512, os saves only ymm", VectorProcessor(kLeaf1Avx2, kLeaf7Avx512, kYmmSaved),
       kAvx2Set},
      {"avx-512 without vl",
       VectorProcessor(kLeaf1Avx2, kLeaf7Avx512 & ~kLeaf7EbxAvx512Vl, kZmmSaved), kAvx2Set},
      {"avx-512 without bw",
       VectorProcessor(kLeaf1Avx2, kLeaf7Avx512 & ~kLeaf7EbxAvx512Bw, kZmmSaved), kAvx2Set},
      {"avx2", VectorProcessor(kLeaf1Avx2, kLeaf7EbxAvx2, kYmmSaved), kAvx2Set},
      {"avx2, os saves no ymm", VectorProcessor(kLeaf1Avx2, kLeaf7EbxAvx2, 0x3), kSse2Set},
      {"avx2 without osxsave", VectorProcessor(kLeaf1Avx2 & ~kEcxOsXsave, kLeaf7EbxAvx2, kYmmSaved),
       kSse2Set},
      {"avx2 without fma", VectorProcessor(kLeaf1Avx2 & ~kEcxFma, kLeaf7EbxAvx2, kYmmSaved),
       kSse2Set},
      {"avx2 without f16c", VectorProcessor(kLeaf1Avx2 & ~kEcxF16c, kLeaf7EbxAvx2, kYmmSaved),
       kSse2Set},
      {"avx without avx2", VectorProcessor(kLeaf1Avx2, 0, kYmmSaved), kSse2Set},
      {"avx-512 without avx2",
       VectorProcessor(kLeaf1Avx2, kLeaf7Avx512 & ~kLeaf7EbxAvx2, kZmmSaved), kSse2Set},
  };
  for (const Expectation& c : cases) {
    for (const auto& [settings, expected] :
         {std::pair{MapSettingsStore{}, c.expected},
          // Only the 3DNow!/AMD family is left out by mode 2.
          std::pair{MapSettingsStore{{"DisableSimd", "2"}}, c.expected},
          std::pair{MapSettingsStore{{"DisableMathSimd", "1"}}, kNoSimdSet}}) {
      OperationTable table{};
      EXPECT_EQ(Selector().Select(table, c.processor, settings), expected) << c.name;
      if (expected == kNoSimdSet) continue;
      // The table is the chosen family's whole installation.
      OperationTable family_table{};
      for (const ImplementationFamily& family : ImplementationFamilies()) {
        if (family.implementation_set == expected) family.install(family_table, c.processor);
      }
      for (unsigned slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(table.Address(slot), family_table.Address(slot)) << c.name << " " << slot;
      }
    }
  }
  // Leaf 7 is read only when leaf 0 reports it.
  SimulatedProcessor old = VectorProcessor(kLeaf1Avx2, kLeaf7Avx512, kZmmSaved);
  old.Leaf(0, {6, 0, 0, 0});
  EXPECT_EQ(QueryVectorExtensions(old), 0u);
}

TEST(Selection, VectorFamiliesOutrankThreeDNow) {
  SimulatedProcessor p = Processor(kMmx | kSse | kSse2, k3DNow | kExt3DNow | kAmdMmx, true, true);
  p.Leaf(1, {0, 0, kLeaf1Avx2, kMmx | kSse | kSse2}).Leaf(7, {0, kLeaf7EbxAvx2, 0, 0});
  p.SavedState(kYmmSaved);
  OperationTable table{};
  MapSettingsStore none;
  EXPECT_EQ(Selector().Select(table, p, none), kAvx2Set);
}

TEST(ProcessorQuery, RealProcessorVectorExtensionsAgreeWithTheKernel) {
  // The kernel lists a feature only when it saves the registers it needs.
  const std::uint32_t extensions = QueryVectorExtensions(RealProcessor());
  EXPECT_EQ((extensions & kVectorAvx2) != 0, __builtin_cpu_supports("avx2") &&
                                                 __builtin_cpu_supports("fma") &&
                                                 __builtin_cpu_supports("f16c"));
  EXPECT_EQ((extensions & kVectorAvx512) != 0,
            __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
                (extensions & kVectorAvx2) != 0);
}

// Run on emulated processor models by the test suite, which names the
// family the model must select.
TEST(EmulatedProcessor, SelectsTheFamilyTheRunnerNames) {
  const char* expected = std::getenv("KUBIK_EXPECTED_FAMILY");
  if (!expected) GTEST_SKIP() << "run on an emulated processor by the test suite";
  const ImplementationFamily* family = FindImplementationFamily(expected);
  ASSERT_NE(family, nullptr) << expected;
  ResetSelectionForTesting();
  KMMATRIX m;
  KMMatrixTranslation(&m, 1.0f, 2.0f, 3.0f);  // the first call selects
  EXPECT_EQ(SelectedFamily(), family) << SelectedFamily()->name;
  EXPECT_EQ(ImplementationSet(), family->implementation_set);
  EXPECT_EQ(m._42, 2.0f);
  ResetSelectionForTesting();
}

TEST(ImplementationFamilies, RegistryNamesEveryFamilyOnce) {
  std::vector<std::string> names;
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    names.push_back(family.name);
    EXPECT_EQ(FindImplementationFamily(family.name), &family);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"reference", "x87", "sse", "sse2", "3dnow", "avx2",
                                             "avx512"}));
  EXPECT_EQ(FindImplementationFamily("avx"), nullptr);
  EXPECT_TRUE(FindImplementationFamily("sse2")->can_run(RealProcessor()));
}

}  // namespace
