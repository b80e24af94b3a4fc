// Half-precision array conversions in every family that runs here: any bit
// pattern, any count, misaligned buffers flush against inaccessible pages.
// The conversions are exact, so the results must match the reference bit
// for bit.
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kubik;
  using namespace kubik::fuzz;
  FuzzedDataProvider in(data, size);
  const bool to_half = in.ConsumeBool();
  const std::uint32_t n = in.ConsumeIntegralInRange<std::uint32_t>(0, 200);
  const Placement in_at = DrawPlacement(in, to_half ? 4 : 2),
                  out_at = DrawPlacement(in, to_half ? 2 : 4);
  const std::size_t in_size = std::size_t{n} * (to_half ? 4 : 2);
  const std::size_t out_size = std::size_t{n} * (to_half ? 2 : 4);

  GuardedBuffer source(in_size, in_at.at_start, in_at.offset);
  for (std::size_t i = 0; i < in_size; ++i) source.data()[i] = in.ConsumeIntegral<std::uint8_t>();

  auto run = [&](const OperationTable& table, GuardedBuffer& input, GuardedBuffer& output) {
    input.CopyFrom(source);
    void* result = to_half ? static_cast<void*>(table.Get<Slot::KMFloat32To16Array>()(
                                 reinterpret_cast<KMFLOAT16*>(output.data()),
                                 reinterpret_cast<const float*>(input.data()), n))
                           : static_cast<void*>(table.Get<Slot::KMFloat16To32Array>()(
                                 reinterpret_cast<float*>(output.data()),
                                 reinterpret_cast<const KMFLOAT16*>(input.data()), n));
    if (result != output.data()) Fail("a half conversion did not return its output");
  };
  const char* what = to_half ? "KMFloat32To16Array" : "KMFloat16To32Array";

  GuardedBuffer want_in(in_size, in_at.at_start, in_at.offset);
  GuardedBuffer want_out(out_size, out_at.at_start, out_at.offset);
  run(ReferenceTable(), want_in, want_out);
  CheckBytes("reference", "input", want_in.inner(), source.inner(), source.inner_size());
  for (const Family& family : RunnableFamilies()) {
    GuardedBuffer got_in(in_size, in_at.at_start, in_at.offset);
    GuardedBuffer got_out(out_size, out_at.at_start, out_at.offset);
    run(family.table, got_in, got_out);
    CheckBytes(family.name, what, got_out.inner(), want_out.inner(), want_out.inner_size());
    CheckBytes(family.name, "input", got_in.inner(), want_in.inner(), want_in.inner_size());
  }
  return 0;
}
