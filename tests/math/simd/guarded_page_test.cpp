// Every 2- and 3-vector operation of every family with each of its
// vector records at the very end of a readable page whose next page is not
// accessible: a load or store of 16 bytes on a 12-byte record would fault.
#include <gtest/gtest.h>
#include <kubik/kmath.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tests/math/family_test_support.h"

namespace {

using kubik::OperationTable;
using kubik::Slot;

// Pages, each followed by an inaccessible page; records are placed flush
// against the inaccessible one.
class GuardedPages {
 public:
  explicit GuardedPages(int count) : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
    for (int i = 0; i < count; ++i) {
      void* p =
          mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      EXPECT_NE(p, MAP_FAILED);
      EXPECT_EQ(mprotect(static_cast<char*>(p) + page_, page_, PROT_NONE), 0);
      pages_.push_back(static_cast<char*>(p));
    }
  }
  ~GuardedPages() {
    for (char* p : pages_) munmap(p, 2 * page_);
  }

  // The record `value` copied to the end of page `i`.
  template <typename Record>
  Record* At(int i, const Record& value) {
    Record* p = reinterpret_cast<Record*>(pages_[i] + page_ - sizeof(Record));
    std::memcpy(static_cast<void*>(p), &value, sizeof(Record));
    return p;
  }

 private:
  std::size_t page_;
  std::vector<char*> pages_;
};

const KMMATRIX kMatrix(1, 0.5f, 0, 0.25f, 0, 2, 0.5f, 0, 0.5f, 0, 1, 0, 3, 4, 5, 1);

class EndOfPage : public kubik::testing::FamilyTest {
 protected:
  GuardedPages pages_{5};
};

KUBIK_FOR_EVERY_FAMILY(EndOfPage);

TEST_P(EndOfPage, ThreeVectorTransformsAndNormalize) {
  const KMVECTOR3 v(1, 2, 3);
  KMVECTOR3* in = pages_.At(0, v);
  KMVECTOR3* out = pages_.At(1, KMVECTOR3(0, 0, 0));
  KMVECTOR4 out4;
  table_.Get<Slot::KMVec3Transform>()(&out4, in, &kMatrix);
  EXPECT_NEAR(out4.x, 5.5f, 1e-5);
  table_.Get<Slot::KMVec3TransformNormal>()(out, in, &kMatrix);
  EXPECT_NEAR(out->z, 4.0f, 1e-5);
  table_.Get<Slot::KMVec3TransformCoord>()(out, in, &kMatrix);
  EXPECT_NEAR(out->x, 5.5f / 1.25f, 1e-5);
  table_.Get<Slot::KMVec3Normalize>()(out, in);
  EXPECT_NEAR(out->z, 3 / std::sqrt(14.0f), 1e-6);
  // In place, at the edge.
  table_.Get<Slot::KMVec3Normalize>()(in, in);
  EXPECT_NEAR(in->x, 1 / std::sqrt(14.0f), 1e-6);
}

TEST_P(EndOfPage, ThreeVectorSplines) {
  KMVECTOR3* p0 = pages_.At(0, KMVECTOR3(1, 2, 3));
  KMVECTOR3* p1 = pages_.At(1, KMVECTOR3(4, 5, 6));
  KMVECTOR3* p2 = pages_.At(2, KMVECTOR3(7, 8, 9));
  KMVECTOR3* p3 = pages_.At(3, KMVECTOR3(-1, -2, -3));
  KMVECTOR3* out = pages_.At(4, KMVECTOR3(0, 0, 0));
  table_.Get<Slot::KMVec3Hermite>()(out, p0, p1, p2, p3, 1.0f);
  EXPECT_EQ(out->z, 9.0f);
  table_.Get<Slot::KMVec3CatmullRom>()(out, p0, p1, p2, p3, 0.0f);
  EXPECT_EQ(out->z, 6.0f);
  table_.Get<Slot::KMVec3BaryCentric>()(out, p0, p1, p2, 0.0f, 0.0f);
  EXPECT_EQ(out->z, 3.0f);
}

TEST_P(EndOfPage, PlanesFromAndAgainstThreeVectors) {
  KMVECTOR3* a = pages_.At(0, KMVECTOR3(0, 0, 0));
  KMVECTOR3* b = pages_.At(1, KMVECTOR3(1, 0, 0));
  KMVECTOR3* c = pages_.At(2, KMVECTOR3(0, 1, 0));
  KMPLANE* plane = pages_.At(3, KMPLANE(0, 0, 0, 0));
  table_.Get<Slot::KMPlaneFromPoints>()(plane, a, b, c);
  EXPECT_NEAR(plane->c, 1.0f, 1e-6);

  *plane = KMPLANE(0, 0, 1, -1);
  KMVECTOR3* v2 = pages_.At(1, KMVECTOR3(0, 0, 2));
  KMVECTOR3* out = pages_.At(4, KMVECTOR3(9, 9, 9));
  ASSERT_EQ(table_.Get<Slot::KMPlaneIntersectLine>()(out, plane, a, v2), out);
  EXPECT_NEAR(out->z, 1.0f, 1e-6);
}

TEST_P(EndOfPage, TwoVectorOperations) {
  KMVECTOR2* p0 = pages_.At(0, KMVECTOR2(1, 2));
  KMVECTOR2* p1 = pages_.At(1, KMVECTOR2(3, 4));
  KMVECTOR2* p2 = pages_.At(2, KMVECTOR2(5, 6));
  KMVECTOR2* p3 = pages_.At(3, KMVECTOR2(7, 8));
  KMVECTOR2* out = pages_.At(4, KMVECTOR2(0, 0));
  KMVECTOR4 out4;
  table_.Get<Slot::KMVec2Transform>()(&out4, p0, &kMatrix);
  EXPECT_NEAR(out4.y, 8.5f, 1e-5);
  table_.Get<Slot::KMVec2TransformNormal>()(out, p0, &kMatrix);
  EXPECT_NEAR(out->y, 4.5f, 1e-5);
  table_.Get<Slot::KMVec2TransformCoord>()(out, p0, &kMatrix);
  EXPECT_NEAR(out->y, 8.5f / 1.25f, 1e-5);
  table_.Get<Slot::KMVec2Hermite>()(out, p0, p1, p2, p3, 1.0f);
  EXPECT_EQ(out->y, 6.0f);
  table_.Get<Slot::KMVec2CatmullRom>()(out, p0, p1, p2, p3, 1.0f);
  EXPECT_EQ(out->y, 6.0f);
  table_.Get<Slot::KMVec2BaryCentric>()(out, p0, p1, p2, 0.0f, 0.0f);
  EXPECT_EQ(out->y, 2.0f);
}

// The guard is real: 16 bytes from a 12-byte record at the edge fault.
TEST(GuardedPagesDeathTest, SixteenBytesFromTheLastTwelveFault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  GuardedPages pages(1);
  KMVECTOR3* v = pages.At(0, KMVECTOR3(1, 2, 3));
  EXPECT_EQ(v->z, 3.0f);
  EXPECT_DEATH(
      {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, _mm_loadu_ps(&v->x));
        volatile float beyond = lanes[3];
        (void)beyond;
      },
      "");
}

}  // namespace
