// KMVec3ProjectArray and KMVec3UnprojectArray in every family that runs
// here, against the reference: any of the viewport and three matrices null,
// random counts, strides and placements, in-place runs.
#include <algorithm>

#include "tests/fuzz/fuzz_support.h"

namespace kubik::fuzz {
namespace {

using Matrix = double[4][4];

void Load(Matrix out, const KMMATRIX* m) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out[r][c] = m != nullptr ? m->m[r][c] : (r == c ? 1.0 : 0.0);
  }
}

void Multiply(Matrix out, const Matrix a, const Matrix b, bool absolute) {
  Matrix r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) {
        sum += absolute ? std::fabs(a[i][k]) * std::fabs(b[k][j]) : a[i][k] * b[k][j];
      }
      r[i][j] = sum;
    }
  }
  std::memcpy(out, r, sizeof r);
}

// Gauss-Jordan with partial pivoting; false when singular.
bool Invert(Matrix out, const Matrix in) {
  double a[4][8];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      a[i][j] = in[i][j];
      a[i][j + 4] = i == j ? 1.0 : 0.0;
    }
  }
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r) {
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    }
    if (!(std::fabs(a[pivot][c]) > 0.0)) return false;
    for (int j = 0; j < 8; ++j) std::swap(a[c][j], a[pivot][j]);
    const double d = a[c][c];
    for (int j = 0; j < 8; ++j) a[c][j] /= d;
    for (int r = 0; r < 4; ++r) {
      if (r == c) continue;
      const double f = a[r][c];
      for (int j = 0; j < 8; ++j) a[r][j] -= f * a[c][j];
    }
  }
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) out[i][j] = a[i][j + 4];
  }
  return true;
}

double NormInf(const Matrix m) {
  double best = 0.0;
  for (int i = 0; i < 4; ++i) {
    double row = 0.0;
    for (int j = 0; j < 4; ++j) row += std::fabs(m[i][j]);
    best = std::max(best, row);
  }
  return best;
}

// v x M and its error scale against the absolute matrix `scale`.
Row4 Apply(const double v[4], const Matrix m, const Matrix scale, double factor) {
  Row4 r{};
  for (int k = 0; k < 4; ++k) {
    for (int j = 0; j < 4; ++j) {
      r.value[k] += v[j] * m[j][k];
      r.scale[k] += factor * std::fabs(v[j]) * scale[j][k];
    }
  }
  return r;
}

}  // namespace
}  // namespace kubik::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kubik;
  using namespace kubik::fuzz;
  FuzzedDataProvider in(data, size);
  const bool unproject = in.ConsumeBool();
  const std::uint32_t n = in.ConsumeIntegralInRange<std::uint32_t>(0, 24);
  const bool in_place = in.ConsumeIntegralInRange<int>(0, 4) == 0;
  std::uint32_t in_stride =
      in.ConsumeBool() ? 12u : in.ConsumeIntegralInRange<std::uint32_t>(0, 40);
  std::uint32_t out_stride =
      in.ConsumeBool() ? 12u : in.ConsumeIntegralInRange<std::uint32_t>(12, 40);
  if (in_place) in_stride = out_stride = std::max({in_stride, out_stride, 12u});

  KMVIEWPORT viewport{};
  const bool has_viewport = in.ConsumeBool();
  viewport.X = in.ConsumeIntegralInRange<std::uint32_t>(0, 2000);
  viewport.Y = in.ConsumeIntegralInRange<std::uint32_t>(0, 2000);
  viewport.Width = in.ConsumeBool() ? in.ConsumeIntegral<std::uint32_t>()
                                    : in.ConsumeIntegralInRange<std::uint32_t>(0, 4096);
  viewport.Height = in.ConsumeIntegralInRange<std::uint32_t>(0, 4096);
  viewport.MinZ = DrawFloat(in);
  viewport.MaxZ = DrawFloat(in);
  KMMATRIX matrices[3];
  bool present[3];
  for (int i = 0; i < 3; ++i) {
    present[i] = in.ConsumeBool();
    matrices[i] = DrawMatrix(in);
  }
  const KMMATRIX* projection = present[0] ? &matrices[0] : nullptr;
  const KMMATRIX* view = present[1] ? &matrices[1] : nullptr;
  const KMMATRIX* world = present[2] ? &matrices[2] : nullptr;
  const Placement in_at = DrawPlacement(in), out_at = DrawPlacement(in);

  const std::size_t in_size = n == 0 ? 0 : std::size_t{n - 1} * in_stride + 12;
  const std::size_t out_size = n == 0 ? 0 : std::size_t{n - 1} * out_stride + 12;
  const std::size_t shared = std::max(in_size, out_size);
  GuardedBuffer source(in_place ? shared : in_size, in_at.at_start, in_at.offset);
  for (std::uint32_t i = 0; i < n; ++i) {
    float p[3];
    DrawFloats(in, p, 3);
    if (has_viewport && in.ConsumeBool()) {
      // Window coordinates inside the viewport are the usual input.
      p[0] = static_cast<float>(viewport.X) + std::fabs(p[0]) * 16.0f;
      p[1] = static_cast<float>(viewport.Y) + std::fabs(p[1]) * 16.0f;
    }
    std::memcpy(source.data() + std::size_t{i} * in_stride, p, 12);
  }

  // Expected error scales, in double.
  Matrix c, c_abs, w, v, p;
  Load(w, world);
  Load(v, view);
  Load(p, projection);
  Multiply(c, w, v, false);
  Multiply(c, c, p, false);
  Multiply(c_abs, w, v, true);
  Multiply(c_abs, c_abs, p, true);
  const double vw = viewport.Width, vh = viewport.Height,
               dz = double(viewport.MaxZ) - viewport.MinZ;
  Matrix vp = {{vw * 0.5, 0, 0, 0},
               {0, -vh * 0.5, 0, 0},
               {0, 0, dz, 0},
               {viewport.X + vw * 0.5, viewport.Y + vh * 0.5, viewport.MinZ, 1}};
  Matrix forward, forward_abs, inverse, inverse_abs;
  std::memcpy(forward, c, sizeof c);
  std::memcpy(forward_abs, c_abs, sizeof c_abs);
  if (has_viewport) {
    Multiply(forward, c, vp, false);
    Multiply(forward_abs, c_abs, vp, true);
  }
  bool comparable = Invert(inverse, c);
  const double condition = comparable ? NormInf(c) * NormInf(inverse) : 0.0;
  comparable = comparable && condition < 1e5;
  // A computed inverse is accurate relative to the elements around each
  // element, not element by element: one that cancels to zero comes out as
  // rounding residue of its neighbours' size (families order the minors'
  // products differently), so each element's error scale is the largest in
  // its row and column.
  double row_max[4] = {}, column_max[4] = {};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      row_max[i] = std::max(row_max[i], std::fabs(inverse[i][j]));
      column_max[j] = std::max(column_max[j], std::fabs(inverse[i][j]));
    }
  }
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      inverse_abs[i][j] = std::max(row_max[i], column_max[j]);
      comparable = comparable && Tame(forward_abs[i][j] + 1.0) && Tame(inverse_abs[i][j] + 1.0);
    }
  }
  comparable = comparable && (!has_viewport || (vw > 0 && vh > 0 && Tame(dz) && Tame(1.0 / dz)));

  auto run = [&](const OperationTable& table, GuardedBuffer& input, GuardedBuffer& output) {
    input.CopyFrom(source);
    KMVECTOR3* out = reinterpret_cast<KMVECTOR3*>(in_place ? input.data() : output.data());
    const KMVECTOR3* vin = reinterpret_cast<const KMVECTOR3*>(input.data());
    Bind(table);
    KMVECTOR3* r = unproject
                       ? table.Get<Slot::KMVec3UnprojectArray>()(out, out_stride, vin, in_stride,
                                                                 has_viewport ? &viewport : nullptr,
                                                                 projection, view, world, n)
                       : table.Get<Slot::KMVec3ProjectArray>()(out, out_stride, vin, in_stride,
                                                               has_viewport ? &viewport : nullptr,
                                                               projection, view, world, n);
    Bind(RunnableFamilies().front().table);
    if (r != out) Fail("the array projection did not return its output");
  };
  const char* what = unproject ? "KMVec3UnprojectArray" : "KMVec3ProjectArray";

  GuardedBuffer want_in(source.size(), in_at.at_start, in_at.offset);
  GuardedBuffer want_out(out_size, out_at.at_start, out_at.offset);
  run(ReferenceTable(), want_in, want_out);
  const unsigned char* want_data = in_place ? want_in.data() : want_out.data();

  for (const Family& family : RunnableFamilies()) {
    GuardedBuffer got_in(source.size(), in_at.at_start, in_at.offset);
    GuardedBuffer got_out(out_size, out_at.at_start, out_at.offset);
    run(family.table, got_in, got_out);
    const unsigned char* got_data = in_place ? got_in.data() : got_out.data();
    std::vector<bool> is_output(in_place ? shared : out_size, false);
    for (std::uint32_t i = 0; i < n; ++i) {
      float q[3];
      std::memcpy(q, source.data() + std::size_t{i} * in_stride, 12);
      double row[4] = {q[0], q[1], q[2], 1.0};
      Row4 r;
      if (!unproject) {
        r = Apply(row, forward, forward_abs, 1.0);
      } else {
        double scale[4] = {1, 1, 1, 1};
        if (has_viewport) {
          row[0] = (q[0] - double(viewport.X)) / vw * 2.0 - 1.0;
          row[1] = -((q[1] - double(viewport.Y)) / vh * 2.0 - 1.0);
          row[2] = (q[2] - double(viewport.MinZ)) / dz;
          scale[0] = (std::fabs(q[0]) + viewport.X) / vw * 2.0 + 1.0;
          scale[1] = (std::fabs(q[1]) + viewport.Y) / vh * 2.0 + 1.0;
          scale[2] = (std::fabs(q[2]) + std::fabs(viewport.MinZ)) / std::fabs(dz);
        }
        double magnitude[4];
        for (int j = 0; j < 4; ++j) magnitude[j] = std::max(std::fabs(row[j]), scale[j]);
        r = Apply(row, inverse, inverse_abs, condition);
        Row4 s = Apply(magnitude, inverse_abs, inverse_abs, condition);
        std::memcpy(r.scale, s.scale, sizeof r.scale);
      }
      bool tame = comparable;
      for (float x : q) tame = tame && (Tame(x) || x == 0.0f);
      for (int k = 0; k < 3; ++k) {
        const std::size_t at = std::size_t{i} * out_stride + 4 * static_cast<std::size_t>(k);
        for (int b = 0; b < 4; ++b) is_output[at + b] = true;
        float g, wv;
        std::memcpy(&g, got_data + at, 4);
        std::memcpy(&wv, want_data + at, 4);
        const double bound = tame ? DividedScale(r, k) : std::numeric_limits<double>::infinity();
        CheckFloat(family.name, what, i, g, wv, bound);
      }
    }
    for (std::size_t b = 0; b < is_output.size(); ++b) {
      if (!is_output[b] && got_data[b] != want_data[b]) {
        Fail(std::string(family.name) + ", " + what + ": byte " + std::to_string(b) +
             " outside the outputs differs from the reference");
      }
    }
    CheckOutside(family.name, "output buffer", got_out, want_out);
    if (in_place) {
      CheckOutside(family.name, "in-place buffer", got_in, want_in);
    } else {
      CheckBytes(family.name, "input", got_in.inner(), want_in.inner(), want_in.inner_size());
    }
  }
  return 0;
}
