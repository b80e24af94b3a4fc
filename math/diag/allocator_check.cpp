#include <cstddef>
#include <new>

#include "math/diag/diagnostics.h"
#include "platform/debug/debug_output.h"

namespace kubik {

std::atomic<uint32_t> AllocatorChecked{0};

namespace {

// Called through volatile pointers: the compiler may assume a global operator new never returns
// null and may drop a new/delete pair, and either would hide the very faults looked for here.
using NewFunction = void* (*)(std::size_t);
using DeleteFunction = void (*)(void*) noexcept;
NewFunction volatile global_new = static_cast<NewFunction>(&::operator new);
DeleteFunction volatile global_delete = static_cast<DeleteFunction>(&::operator delete);

void* AllocateZeroBytes() {
  try {
    return global_new(0);
  } catch (...) {
    // A replaced operator new that throws for zero bytes is just as unusable to the library;
    // it must not take the process down from inside a math call.
    return nullptr;
  }
}

}  // namespace

void CheckAllocatorConformance(std::atomic<uint32_t>& checked) {
  if (checked.exchange(1, std::memory_order_acq_rel) != 0) return;

  void* const p = AllocateZeroBytes();
  void* const q = AllocateZeroBytes();
  const bool bad = p == nullptr || q == nullptr || p == q;
  if (p != nullptr) global_delete(p);
  if (q != nullptr && q != p) global_delete(q);
  // Not detectable, but an operator delete that misbehaves on null does so here, at a known spot.
  global_delete(nullptr);

  if (bad) {
    for (const char* line : kAllocatorWarningLines) WriteDebugOutput(line);
  }
}

void CheckAllocatorConformance() {
  CheckAllocatorConformance(AllocatorChecked);
}

}  // namespace kubik
