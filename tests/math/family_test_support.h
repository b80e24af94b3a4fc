// What the per-family test suites share: the families that can run here,
// taken from the registry, a fixture that gives each test a table filled by
// one of them, and the small record helpers.
#pragma once

#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "math/cpu/processor.h"
#include "math/cpu/registry.h"
#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"

namespace kubik {

inline void PrintTo(const ImplementationFamily* family, std::ostream* out) {
  *out << family->name;
}

namespace testing {

// This processor as the family suites see it: its own CPUID, and the
// operating system's answer or, where the kernel does not report a feature,
// the processor's. Under an emulator (qemu-x86_64 -cpu phenom) the kernel
// describes the host while CPUID describes the emulated processor, whose
// 3DNow! instructions then run the 3DNow! family through the same suites.
class TestedProcessor final : public ProcessorProbe {
 public:
  bool HasCpuid() const override { return RealProcessor().HasCpuid(); }
  CpuidRegisters Cpuid(std::uint32_t leaf) const override { return RealProcessor().Cpuid(leaf); }
  bool OsProcessorFeature(OsFeature feature) const override {
    if (RealProcessor().OsProcessorFeature(feature)) return true;
    if (feature == OsFeature::FEATURE_3DNOW) {
      return (GetProcessorFeatureFlags(RealProcessor()) & kFeature3DNow) != 0;
    }
    return (QuerySimdSupport(RealProcessor()) & kSimdSse) != 0;
  }
  std::uint64_t ExtendedStateMask() const override { return RealProcessor().ExtendedStateMask(); }
};

inline const ProcessorProbe& Tested() {
  static const TestedProcessor processor;
  return processor;
}

// Every registered family that can run here, in registry order.
inline std::vector<const ImplementationFamily*> RunnableFamilies() {
  std::vector<const ImplementationFamily*> runnable;
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    if (family.can_run(Tested())) runnable.push_back(&family);
  }
  return runnable;
}

inline std::string FamilyName(const ::testing::TestParamInfo<const ImplementationFamily*>& info) {
  return info.param->name;
}

// A table filled by the family under test, as selection would fill it.
class FamilyTest : public ::testing::TestWithParam<const ImplementationFamily*> {
 protected:
  void SetUp() override { family().install(table_, Tested()); }
  // Leaves the process table as a fresh process has it.
  void TearDown() override { ResetSelectionForTesting(); }

  const ImplementationFamily& family() const { return *GetParam(); }
  bool Is(const char* name) const { return std::string(family().name) == name; }
  // Binds the process table too: operations that call others through the
  // public entries then reach the family under test.
  void BindProcessTable() { ProcessOperationTable().CopyFrom(table_); }

  OperationTable table_;
};

// Same bits, record by record: the comparison for results that must be exact.
template <typename Record>
bool SameBits(const Record& a, const Record& b) {
  return std::memcmp(&a, &b, sizeof(Record)) == 0;
}

inline KMMATRIX Identity() {
  return KMMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
}

// Every element uniform in [-bound, bound].
inline KMMATRIX RandomMatrix(std::mt19937& random, float bound) {
  std::uniform_real_distribution<float> value(-bound, bound);
  KMMATRIX m;
  for (auto& row : m.m) {
    for (float& element : row) element = value(random);
  }
  return m;
}

}  // namespace testing
}  // namespace kubik

// Runs a FamilyTest suite once for every family that can run here.
#define KUBIK_FOR_EVERY_FAMILY(suite)                                                 \
  INSTANTIATE_TEST_SUITE_P(EveryFamily, suite,                                        \
                           ::testing::ValuesIn(::kubik::testing::RunnableFamilies()), \
                           ::kubik::testing::FamilyName)
