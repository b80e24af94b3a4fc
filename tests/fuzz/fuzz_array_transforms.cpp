// Strided array transforms (vectors of 2, 3 and 4 floats, planes) in every
// family that runs here, against the reference: random counts, byte
// strides (0, packed, padded, odd), misaligned bases, in-place runs and
// buffers flush against inaccessible pages.
#include "tests/fuzz/fuzz_support.h"

namespace kubik::fuzz {
namespace {

enum class Kind { kFull, kCoord, kNormal };

struct ArrayOp {
  const char* name;
  unsigned in_floats;
  unsigned out_floats;
  Kind kind;
  // Calls the slot of `table` on raw pointers.
  void (*call)(const OperationTable& table, void* out, std::uint32_t out_stride, const void* in,
               std::uint32_t in_stride, const KMMATRIX* m, std::uint32_t n);
};

template <Slot S, typename Out, typename In>
void Call(const OperationTable& table, void* out, std::uint32_t out_stride, const void* in,
          std::uint32_t in_stride, const KMMATRIX* m, std::uint32_t n) {
  Out* result = table.Get<S>()(static_cast<Out*>(out), out_stride, static_cast<const In*>(in),
                               in_stride, m, n);
  if (result != out) Fail(std::string(SlotTraits<S>::kName) + " did not return its output");
}

const ArrayOp kOps[] = {
    {"KMVec2TransformArray", 2, 4, Kind::kFull,
     &Call<Slot::KMVec2TransformArray, KMVECTOR4, KMVECTOR2>},
    {"KMVec2TransformCoordArray", 2, 2, Kind::kCoord,
     &Call<Slot::KMVec2TransformCoordArray, KMVECTOR2, KMVECTOR2>},
    {"KMVec2TransformNormalArray", 2, 2, Kind::kNormal,
     &Call<Slot::KMVec2TransformNormalArray, KMVECTOR2, KMVECTOR2>},
    {"KMVec3TransformArray", 3, 4, Kind::kFull,
     &Call<Slot::KMVec3TransformArray, KMVECTOR4, KMVECTOR3>},
    {"KMVec3TransformCoordArray", 3, 3, Kind::kCoord,
     &Call<Slot::KMVec3TransformCoordArray, KMVECTOR3, KMVECTOR3>},
    {"KMVec3TransformNormalArray", 3, 3, Kind::kNormal,
     &Call<Slot::KMVec3TransformNormalArray, KMVECTOR3, KMVECTOR3>},
    {"KMVec4TransformArray", 4, 4, Kind::kFull,
     &Call<Slot::KMVec4TransformArray, KMVECTOR4, KMVECTOR4>},
    {"KMPlaneTransformArray", 4, 4, Kind::kFull,
     &Call<Slot::KMPlaneTransformArray, KMPLANE, KMPLANE>},
};

// The input record widened to a row vector: coordinates get w = 1, normals
// w = 0, missing components 0.
void RowOf(const ArrayOp& op, const float* in, double v[4]) {
  v[0] = v[1] = v[2] = 0.0;
  v[3] = op.kind == Kind::kNormal ? 0.0 : 1.0;
  for (unsigned j = 0; j < op.in_floats; ++j) v[j] = in[j];
}

// A stride in bytes: 0, the record itself, padded, or anything up to 80.
std::uint32_t DrawStride(FuzzedDataProvider& in, unsigned record_bytes) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return 0;
    case 1:
      return record_bytes;
    case 2:
      return record_bytes + in.ConsumeIntegralInRange<std::uint32_t>(1, 16);
    default:
      return in.ConsumeIntegralInRange<std::uint32_t>(1, 80);
  }
}

std::size_t Footprint(std::uint32_t n, std::uint32_t stride, unsigned record_bytes) {
  return n == 0 ? 0 : std::size_t{n - 1} * stride + record_bytes;
}

}  // namespace
}  // namespace kubik::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kubik;
  using namespace kubik::fuzz;
  FuzzedDataProvider in(data, size);
  const ArrayOp& op = kOps[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kOps) - 1)];
  const unsigned in_bytes = op.in_floats * 4, out_bytes = op.out_floats * 4;
  const std::uint32_t n = in.ConsumeIntegralInRange<std::uint32_t>(0, 100);
  const bool in_place = in.ConsumeIntegralInRange<int>(0, 4) == 0;
  std::uint32_t in_stride = DrawStride(in, in_bytes);
  // Outputs that overlap one another leave an order-dependent result: only
  // 0 (every element to one place) or strides that keep them apart.
  std::uint32_t out_stride = in.ConsumeBool() ? std::max(out_bytes, DrawStride(in, out_bytes))
                                              : (in.ConsumeBool() ? 0u : out_bytes);
  if (in_place) in_stride = out_stride = std::max({in_stride, out_stride, in_bytes, out_bytes});
  const KMMATRIX m = DrawMatrix(in);
  const Placement in_place_at = DrawPlacement(in), out_place_at = DrawPlacement(in);

  const std::size_t in_size = Footprint(n, in_stride, in_bytes);
  const std::size_t out_size = Footprint(n, out_stride, out_bytes);
  const std::size_t shared = std::max(in_size, out_size);

  // The inputs, laid out once; every run starts from a copy.
  GuardedBuffer source(in_place ? shared : in_size, in_place_at.at_start, in_place_at.offset);
  std::vector<std::vector<float>> records(n, std::vector<float>(op.in_floats));
  for (std::uint32_t i = 0; i < n; ++i) {
    DrawFloats(in, records[i].data(), op.in_floats);
    std::memcpy(source.data() + std::size_t{i} * in_stride, records[i].data(), in_bytes);
  }
  // With input stride 0 or overlapping inputs, what element i reads is what
  // the buffer holds there after all records were written.
  for (std::uint32_t i = 0; i < n; ++i) {
    std::memcpy(records[i].data(), source.data() + std::size_t{i} * in_stride, in_bytes);
  }

  struct Run {
    GuardedBuffer input;
    GuardedBuffer output;
  };
  auto run = [&](const OperationTable& table, Run& r) {
    r.input.CopyFrom(source);
    void* out = in_place ? static_cast<void*>(r.input.data()) : r.output.data();
    op.call(table, out, out_stride, r.input.data(), in_stride, &m, n);
  };
  auto make_run = [&] {
    return Run{GuardedBuffer(source.size(), in_place_at.at_start, in_place_at.offset),
               GuardedBuffer(out_size, out_place_at.at_start, out_place_at.offset)};
  };

  bool matrix_tame = true;
  for (int j = 0; j < 16; ++j)
    matrix_tame = matrix_tame && (Tame((&m._11)[j]) || (&m._11)[j] == 0.0f);

  Run want = make_run();
  run(ReferenceTable(), want);
  const unsigned char* want_out = in_place ? want.input.data() : want.output.data();

  // The reference itself: inputs untouched unless written in place, and
  // nothing written outside the outputs.
  if (!in_place) {
    CheckBytes("reference", "input", want.input.inner(), source.inner(), source.inner_size());
  }

  for (const Family& family : RunnableFamilies()) {
    Run got = make_run();
    run(family.table, got);
    const unsigned char* got_out = in_place ? got.input.data() : got.output.data();
    // Every byte that is not an output float must match exactly.
    std::vector<bool> is_output(in_place ? shared : out_size, false);
    const std::uint32_t compared = out_stride == 0 ? std::min<std::uint32_t>(n, 1) : n;
    for (std::uint32_t e = 0; e < compared; ++e) {
      // With output stride 0 the last element is the one left.
      const std::uint32_t i = out_stride == 0 ? n - 1 : e;
      double v[4];
      RowOf(op, records[i].data(), v);
      const Row4 row = TransformRow(v, m);
      bool tame = matrix_tame;
      for (unsigned j = 0; j < op.in_floats; ++j) tame = tame && (Tame(v[j]) || v[j] == 0.0);
      for (unsigned k = 0; k < op.out_floats; ++k) {
        const std::size_t at = std::size_t{i} * out_stride + 4 * k;
        for (int b = 0; b < 4; ++b) is_output[at + b] = true;
        float g, w;
        std::memcpy(&g, got_out + at, 4);
        std::memcpy(&w, want_out + at, 4);
        double bound =
            op.kind == Kind::kCoord ? DividedScale(row, static_cast<int>(k)) : row.scale[k];
        if (!tame) bound = std::numeric_limits<double>::infinity();
        CheckFloat(family.name, op.name, i, g, w, bound);
      }
    }
    for (std::size_t b = 0; b < is_output.size(); ++b) {
      if (!is_output[b] && got_out[b] != want_out[b]) {
        Fail(std::string(family.name) + ", " + op.name + ": byte " + std::to_string(b) +
             " outside the outputs differs from the reference");
      }
    }
    CheckOutside(family.name, "output buffer", got.output, want.output);
    if (in_place) {
      CheckOutside(family.name, "in-place buffer", got.input, want.input);
    } else {
      CheckBytes(family.name, "input", got.input.inner(), want.input.inner(),
                 want.input.inner_size());
    }
  }
  return 0;
}
