// The registry rows as data: each family writes exactly the slots it lists,
// and the rows are told apart by name, state word and priority.
#include "math/cpu/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "math/cpu/selection.h"
#include "platform/settings/settings_store.h"

namespace {

using namespace kubik;

// A processor with every feature a family looks at, reported by the
// operating system too.
SimulatedProcessor EveryFeature() {
  SimulatedProcessor p;
  p.Leaf(0, {1, 0, 0, 0}).Leaf(1, {0, 0, 0, (1u << 23) | (1u << 25) | (1u << 26)});
  p.Leaf(0x80000000u, {0x80000001u, 0, 0, 0});
  p.Leaf(0x80000001u, {0, 0, 0, (1u << 31) | (1u << 30) | (1u << 22)});
  p.Os(true, true);
  return p;
}

bool Lists(const ImplementationFamily& family, unsigned slot) {
  return std::find(family.slots.begin(), family.slots.end(), static_cast<Slot>(slot)) !=
         family.slots.end();
}

TEST(Registry, EveryFamilyWritesExactlyTheSlotsItLists) {
  const SimulatedProcessor processor = EveryFeature();
  const ImplementationFamily& x87 = *FindImplementationFamily("x87");
  OperationTable x87_table{};
  x87.install(x87_table, processor);
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    OperationTable table{};
    family.install(table, processor);
    const bool reference = std::string(family.name) == "reference";
    for (unsigned slot = 0; slot < kSlotCount; ++slot) {
      const void* installed = table.Address(slot);
      const bool own = Lists(family, slot);
      if (reference) {
        EXPECT_TRUE(own) << SlotName(slot);
        EXPECT_EQ(installed, ReferenceTable().Address(slot)) << SlotName(slot);
      } else if (&family == &x87) {
        EXPECT_EQ(installed != ReferenceTable().Address(slot), own) << SlotName(slot);
      } else {
        // Every other family builds on the x87-tuned set.
        EXPECT_EQ(installed != x87_table.Address(slot), own)
            << family.name << " " << SlotName(slot);
      }
    }
  }
}

TEST(Registry, RowsDifferInNameStateWordAndPriority) {
  std::set<std::string> names;
  std::set<int> priorities;
  std::set<std::uint32_t> simd_state_words;
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    EXPECT_TRUE(names.insert(family.name).second) << family.name;
    EXPECT_TRUE(priorities.insert(family.priority).second) << family.name;
    if (family.simd) {
      EXPECT_TRUE(simd_state_words.insert(family.implementation_set).second) << family.name;
      EXPECT_NE(family.implementation_set, kNoSimdSet) << family.name;
    } else {
      EXPECT_EQ(family.implementation_set, kNoSimdSet) << family.name;
    }
  }
}

// Forcing a family and selecting it agree on when it can run: a processor
// reported with 3DNow! but without MMX selects the 3DNow! family (which then
// installs only the groups its flags allow), and the row says it can run.
TEST(Registry, ForcingAndSelectingAgreeOnThe3DNowFamily) {
  SimulatedProcessor processor;
  processor.Leaf(0, {1, 0, 0, 0}).Leaf(1, {0, 0, 0, 1u << 25});
  processor.Leaf(0x80000000u, {0x80000001u, 0, 0, 0}).Leaf(0x80000001u, {0, 0, 0, 1u << 31});
  processor.Os(true, true);
  const ImplementationFamily& three_d_now = *FindImplementationFamily("3dnow");
  EXPECT_TRUE(three_d_now.can_run(processor));
  EXPECT_EQ(&ChooseFamily(processor, MapSettingsStore{}), &three_d_now);
  OperationTable selected{}, forced{};
  Selector selecting, forcing;
  EXPECT_EQ(selecting.Select(selected, processor, MapSettingsStore{}), k3DNowSets);
  EXPECT_EQ(forcing.Force(forced, three_d_now, processor), k3DNowSets);
  EXPECT_EQ(selecting.family(), &three_d_now);
  for (unsigned slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(selected.Address(slot), forced.Address(slot)) << SlotName(slot);
  }
}

}  // namespace
