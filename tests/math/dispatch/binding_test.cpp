// First-call binding of the operation table.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"
#include "math/reference/reference.h"

namespace {

using kubik::kSlotCount;
using kubik::ProcessOperationTable;
using kubik::Slot;

class Binding : public ::testing::Test {
 protected:
  void SetUp() override { kubik::ResetSelectionForTesting(); }
  void TearDown() override { kubik::ResetSelectionForTesting(); }
};

KMMATRIX Sample(float seed) {
  KMMATRIX m;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) m.m[r][c] = seed * static_cast<float>(r - c) + 0.5f;
  }
  return m;
}

TEST_F(Binding, OneCallBindsEveryListedSlot) {
  for (unsigned slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_TRUE(kubik::SlotHoldsStub(slot)) << kubik::SlotName(slot);
  }
  EXPECT_EQ(kubik::ImplementationSet(), kubik::kSelectionNotRun);
  EXPECT_EQ(kubik::SelectedFamily(), nullptr);

  KMMATRIX t;
  KMMatrixTranslation(&t, 1, 2, 3);

  EXPECT_NE(kubik::ImplementationSet(), kubik::kSelectionNotRun);
  ASSERT_NE(kubik::SelectedFamily(), nullptr);
  EXPECT_EQ(kubik::SelectedFamily()->implementation_set, kubik::ImplementationSet());
  for (unsigned slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_FALSE(kubik::SlotHoldsStub(slot)) << kubik::SlotName(slot);
    EXPECT_NE(ProcessOperationTable().Address(slot), nullptr) << kubik::SlotName(slot);
  }
}

TEST_F(Binding, FirstAndSecondCallAgree) {
  const KMMATRIX a = Sample(1.5f), b = Sample(-0.75f);
  KMMATRIX first, second;
  KMMatrixMultiply(&first, &a, &b);  // through the stub
  KMMatrixMultiply(&second, &a, &b);
  EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);

  KMMATRIX r1, r2;
  kubik::ResetSelectionForTesting();
  KMMatrixRotationYawPitchRoll(&r1, 0.3f, -1.2f, 2.0f);
  KMMatrixRotationYawPitchRoll(&r2, 0.3f, -1.2f, 2.0f);
  EXPECT_EQ(std::memcmp(&r1, &r2, sizeof r1), 0);
}

// A composite operation calls through the public entries, so it uses what
// the table holds: a recording quaternion builder proves it.
std::atomic<int> recorded_calls{0};
KMQUATERNION* RecordingQuaternionBuilder(KMQUATERNION* out, float, float, float) {
  ++recorded_calls;
  *out = KMQUATERNION(0, 0, 0, 1);
  return out;
}

TEST_F(Binding, CompositeUsesTheBoundImplementation) {
  KMMATRIX m;
  KMMatrixTranslation(&m, 0, 0, 0);  // bind
  // The reference composite: a family may replace it with a direct builder.
  ProcessOperationTable().Set<Slot::KMMatrixRotationYawPitchRoll>(
      &kubik::reference::KMMatrixRotationYawPitchRoll);
  ProcessOperationTable().Set<Slot::KMQuaternionRotationYawPitchRoll>(&RecordingQuaternionBuilder);
  recorded_calls = 0;
  KMMatrixRotationYawPitchRoll(&m, 1.0f, 2.0f, 3.0f);
  EXPECT_EQ(recorded_calls, 1);
  // The recorder's identity quaternion, not the rotation the angles ask for.
  EXPECT_EQ(m._11, 1.0f);
  EXPECT_EQ(m._22, 1.0f);
  EXPECT_EQ(m._33, 1.0f);
}

TEST_F(Binding, ConcurrentFirstCallsAllGetCorrectResults) {
  const KMMATRIX a = Sample(2.0f), b = Sample(-1.0f);
  KMMATRIX expected;
  kubik::reference::KMMatrixMultiply(&expected, &a, &b);
  for (int round = 0; round < 20; ++round) {
    kubik::ResetSelectionForTesting();
    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) {
        }
        KMMATRIX out;
        if (t % 2 == 0) {
          KMMatrixMultiply(&out, &a, &b);
          for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
              if (std::abs(out.m[r][c] - expected.m[r][c]) >
                  1e-6f * (1.0f + std::abs(expected.m[r][c]))) {
                ++wrong;
              }
            }
          }
        } else {
          KMMatrixTranslation(&out, 1, 2, 3);
          if (out._41 != 1 || out._42 != 2 || out._43 != 3 || out._44 != 1) ++wrong;
        }
      });
    }
    go = true;
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, 0) << "round " << round;
  }
}

}  // namespace
