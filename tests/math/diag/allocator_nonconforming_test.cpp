// Its own program: it replaces the global allocation operators for the whole process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "math/diag/diagnostics.h"
#include "tests/math/diag/debug_capture.h"

// Zero-byte allocations yield null; everything else comes from malloc, and delete matches it.
void* operator new(std::size_t size) {
  if (size == 0) return nullptr;
  if (void* p = std::malloc(size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace kubik {
namespace {

TEST(AllocatorCheck, NullForZeroBytesWritesTheFourLinesOnce) {
  testing::DebugCapture capture;
  CheckAllocatorConformance();
  CheckAllocatorConformance();
  EXPECT_EQ(AllocatorChecked.load(), 1u);

  const std::vector<std::string> expected = {
      "KM: (WARN) Overloaded ::new and ::delete operators do not conform to C++ standards:\n",
      "KM: (WARN) An allocation of zero bytes should return a unique non-null pointer to at\n",
      "KM: (WARN) least zero bytes. Deletion of a null pointer should quietly do nothing.\n",
      "KM: (WARN) The Kubik math library relies upon this behavior.\n",
  };
  EXPECT_EQ(capture.lines(), expected);
}

}  // namespace
}  // namespace kubik
