// Skinned-mesh blending and N-patch tessellation in every family that runs
// here, against the reference: random vertex layouts (normal streams inside
// the vertices and in buffers of their own, copied tails over blended
// values), influence streams, sample sets and vertex sizes, with every
// buffer flush against inaccessible pages.
#include <algorithm>
#include <memory>

#include "tests/fuzz/fuzz_support.h"

namespace kubik::fuzz {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool AllTame(const float* f, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (!(Tame(f[i]) || f[i] == 0.0f)) return false;
  }
  return true;
}

// ---- Skinning --------------------------------------------------------------------

void FuzzSkinning(FuzzedDataProvider& in) {
  const std::uint32_t bones = in.ConsumeIntegralInRange<std::uint32_t>(1, 6);
  const std::uint32_t n = in.ConsumeIntegralInRange<std::uint32_t>(0, 12);
  const std::uint32_t inner_streams = in.ConsumeIntegralInRange<std::uint32_t>(0, 2);
  const std::uint32_t outer_streams = in.ConsumeIntegralInRange<std::uint32_t>(0, 2);
  const std::uint32_t streams = inner_streams + outer_streams;
  const std::uint32_t stride =
      12 + 12 * inner_streams + in.ConsumeIntegralInRange<std::uint32_t>(0, 21);
  const std::uint32_t copy_offset = in.ConsumeIntegralInRange<std::uint32_t>(0, stride);
  const std::int32_t copy_first = in.ConsumeBool() ? 1 : 0;

  std::vector<KMMATRIX> position(bones), normal(bones);
  for (KMMATRIX& m : position) m = DrawMatrix(in);
  const bool own_normals = in.ConsumeBool();
  for (KMMATRIX& m : normal) m = DrawMatrix(in);
  const std::vector<KMMATRIX>& normal_used = own_normals ? normal : position;
  bool matrices_tame = true;
  for (std::uint32_t b = 0; b < bones; ++b) {
    matrices_tame = matrices_tame && AllTame(&position[b]._11, 16) && AllTame(&normal[b]._11, 16);
  }

  // Influences: per vertex up to four entries, then a terminator.
  struct Influence {
    std::uint32_t bone;
    float weight;
  };
  std::vector<std::vector<Influence>> runs(n);
  std::vector<float> stream;
  for (std::uint32_t i = 0; i < n; ++i) {
    const int count = in.ConsumeIntegralInRange<int>(0, 4);
    for (int k = 0; k < count; ++k) {
      const std::uint32_t bone = in.ConsumeIntegralInRange<std::uint32_t>(0, bones - 1);
      float e;
      if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
        e = bone == 0 ? -0.0f : static_cast<float>(2 * bone);  // weight 0
      } else {
        e = static_cast<float>(2 * bone) + in.ConsumeFloatingPointInRange<float>(0.0f, 1.99f);
      }
      const std::uint32_t k_int = static_cast<std::uint32_t>(e);
      const std::uint32_t decoded = k_int >> 1;
      runs[i].push_back({decoded, static_cast<float>(e - 2.0f * static_cast<float>(decoded))});
      stream.push_back(e);
    }
    static const float kEnds[] = {-1.0f, -1e-30f, -std::numeric_limits<float>::infinity(),
                                  std::numeric_limits<float>::quiet_NaN(), -12345.0f};
    stream.push_back(kEnds[in.ConsumeIntegralInRange<int>(0, 4)]);
  }

  const std::size_t vertex_bytes = std::size_t{n} * stride;
  const Placement src_at = DrawPlacement(in), dst_at = DrawPlacement(in);
  GuardedBuffer source(vertex_bytes, src_at.at_start, src_at.offset);
  for (std::size_t b = 0; b + 4 <= vertex_bytes; b += 4) {
    const float f = DrawFloat(in);
    std::memcpy(source.data() + b, &f, 4);
  }
  GuardedBuffer destination_init(vertex_bytes, dst_at.at_start, dst_at.offset);
  std::vector<std::unique_ptr<GuardedBuffer>> outer_source, outer_destination_init;
  std::vector<Placement> outer_destination_at;
  const std::size_t outer_bytes = n == 0 ? 0 : std::size_t{n - 1} * stride + 12;
  for (std::uint32_t s = 0; s < outer_streams; ++s) {
    const Placement a = DrawPlacement(in), b = DrawPlacement(in);
    outer_source.push_back(std::make_unique<GuardedBuffer>(outer_bytes, a.at_start, a.offset));
    outer_destination_init.push_back(
        std::make_unique<GuardedBuffer>(outer_bytes, b.at_start, b.offset));
    outer_destination_at.push_back(b);
    for (std::uint32_t i = 0; i < n; ++i) {
      float f[3];
      DrawFloats(in, f, 3);
      std::memcpy(outer_source.back()->data() + std::size_t{i} * stride, f, 12);
    }
  }
  GuardedBuffer influences(stream.size() * 4, false, 0);
  if (!stream.empty()) std::memcpy(influences.data(), stream.data(), stream.size() * 4);

  struct Run {
    GuardedBuffer destination;
    std::vector<std::unique_ptr<GuardedBuffer>> outer;
  };
  // A destination as the calls find it: the same initial bytes every time.
  auto prepare = [&](Run& r) {
    r.destination.CopyFrom(destination_init);
    for (std::uint32_t s = 0; s < outer_streams; ++s) {
      const Placement at = outer_destination_at[s];
      r.outer.push_back(std::make_unique<GuardedBuffer>(outer_bytes, at.at_start, at.offset));
      r.outer.back()->CopyFrom(*outer_destination_init[s]);
    }
  };
  auto offset_of = [&](std::uint32_t s) { return 12 + 12 * s; };
  auto run = [&](const OperationTable& table, Run& r) {
    std::vector<const KMVECTOR3*> src(streams + 1);
    std::vector<KMVECTOR3*> dst(streams + 1);
    for (std::uint32_t s = 0; s < streams; ++s) {
      const bool inner = s < inner_streams;
      src[s] = reinterpret_cast<const KMVECTOR3*>(inner ? source.data() + offset_of(s)
                                                        : outer_source[s - inner_streams]->data());
      dst[s] = reinterpret_cast<KMVECTOR3*>(inner ? r.destination.data() + offset_of(s)
                                                  : r.outer[s - inner_streams]->data());
    }
    const std::vector<const KMVECTOR3*> src_before = src;
    const std::vector<KMVECTOR3*> dst_before = dst;
    Bind(table);
    table.Get<Slot::SkinnedMeshBlend>()(
        position.data(), own_normals ? normal.data() : nullptr, source.data(), r.destination.data(),
        n, stride, src.data(), dst.data(), streams, copy_offset,
        reinterpret_cast<const float*>(influences.data()), copy_first);
    Bind(RunnableFamilies().front().table);
    for (std::uint32_t s = 0; s < streams; ++s) {
      if (reinterpret_cast<const unsigned char*>(src[s]) !=
              reinterpret_cast<const unsigned char*>(src_before[s]) + vertex_bytes ||
          reinterpret_cast<unsigned char*>(dst[s]) !=
              reinterpret_cast<unsigned char*>(dst_before[s]) + vertex_bytes) {
        Fail("SkinnedMeshBlend: a normal pointer did not advance by count x stride");
      }
    }
  };

  if (std::getenv("KUBIK_FUZZ_VERBOSE") != nullptr) {
    std::fprintf(stderr,
                 "skinning: %u vertices, stride %u, %u inner and %u outer normal streams, copy "
                 "offset %u, copy first %d, %s normal matrices, %zu influence entries\n",
                 n, stride, inner_streams, outer_streams, copy_offset, copy_first,
                 own_normals ? "own" : "no", stream.size());
    for (float e : stream) std::fprintf(stderr, " %.9g", e);
    std::fprintf(stderr, "\n");
  }
  Run want{GuardedBuffer(vertex_bytes, dst_at.at_start, dst_at.offset), {}};
  prepare(want);
  run(ReferenceTable(), want);

  // Error scale of each blended float, in double.
  auto position_bound = [&](std::uint32_t i, int k) {
    const float* p = reinterpret_cast<const float*>(source.data() + std::size_t{i} * stride);
    float q[3];
    std::memcpy(q, p, 12);
    if (!matrices_tame || !AllTame(q, 3)) return kInfinity;
    const double v[4] = {q[0], q[1], q[2], 1.0};
    double bound = 0.0;
    for (const Influence& f : runs[i]) {
      const Row4 r = TransformRow(v, position[f.bone]);
      const double s = DividedScale(r, k);
      bound += f.weight * (s + std::fabs(r.value[k] / r.value[3]));
    }
    return bound;
  };
  auto normal_bound = [&](std::uint32_t i, std::uint32_t s, int k) {
    float q[3];
    const unsigned char* at =
        s < inner_streams ? source.data() + std::size_t{i} * stride + offset_of(s)
                          : outer_source[s - inner_streams]->data() + std::size_t{i} * stride;
    std::memcpy(q, at, 12);
    if (!matrices_tame || !AllTame(q, 3)) return kInfinity;
    const double v[4] = {q[0], q[1], q[2], 0.0};
    double bound = 0.0;
    for (const Influence& f : runs[i]) {
      bound += 2.0 * f.weight * TransformRow(v, normal_used[f.bone]).scale[k];
    }
    return bound;
  };

  // The SSE and SSE2 sets end a run at any entry with its sign bit set, -0.0
  // included (a documented difference): from the first vertex with a -0.0
  // entry on, they read the stream differently and are not compared.
  std::uint32_t first_negative_zero = n;
  for (std::uint32_t i = 0; i < n && first_negative_zero == n; ++i) {
    for (const Influence& f : runs[i]) {
      if (std::signbit(f.weight)) first_negative_zero = i;
    }
  }

  for (const Family& family : RunnableFamilies()) {
    const bool sign_bit_ends_run =
        std::strcmp(family.name, "sse") == 0 || std::strcmp(family.name, "sse2") == 0;
    const std::uint32_t compared = sign_bit_ends_run ? first_negative_zero : n;
    Run got{GuardedBuffer(vertex_bytes, dst_at.at_start, dst_at.offset), {}};
    prepare(got);
    run(family.table, got);
    // Destination vertices: blended words within tolerance, every other byte exact.
    std::vector<double> word_bound(vertex_bytes, -1.0);
    for (std::uint32_t i = 0; i < n; ++i) {
      for (int k = 0; k < 3; ++k)
        word_bound[std::size_t{i} * stride + 4 * k] = position_bound(i, k);
      for (std::uint32_t s = 0; s < inner_streams; ++s) {
        for (int k = 0; k < 3; ++k) {
          word_bound[std::size_t{i} * stride + offset_of(s) + 4 * k] = normal_bound(i, s, k);
        }
      }
    }
    const unsigned char* g = got.destination.data();
    const unsigned char* w = want.destination.data();
    for (std::size_t b = 0; b < std::size_t{compared} * stride;) {
      // A bound that came out NaN still marks a blended word.
      const std::size_t within = b % stride;
      if (!(word_bound[b] < 0.0) && copy_first == 0 && within < copy_offset &&
          copy_offset < within + 4) {
        // The tail copy overwrote the top of this blended word: its low
        // bytes are part of a float that no longer exists, the rest must be
        // the source's bytes.
        for (std::size_t k = copy_offset - within; k < 4; ++k) {
          if (g[b + k] != w[b + k])
            Fail(std::string(family.name) + ", SkinnedMeshBlend: tail byte");
        }
        b += 4;
      } else if (!(word_bound[b] < 0.0)) {
        float gf, wf;
        std::memcpy(&gf, g + b, 4);
        std::memcpy(&wf, w + b, 4);
        CheckFloat(family.name, "SkinnedMeshBlend vertex", b / stride, gf, wf,
                   std::isnan(word_bound[b]) ? kInfinity : word_bound[b]);
        b += 4;
      } else {
        if (g[b] != w[b]) {
          Fail(std::string(family.name) + ", SkinnedMeshBlend: vertex byte " + std::to_string(b) +
               " differs from the reference");
        }
        ++b;
      }
    }
    CheckOutside(family.name, "SkinnedMeshBlend destination", got.destination, want.destination);
    for (std::uint32_t s = 0; s < outer_streams; ++s) {
      for (std::uint32_t i = 0; i < compared; ++i) {
        for (int k = 0; k < 3; ++k) {
          float gf, wf;
          std::memcpy(&gf, got.outer[s]->data() + std::size_t{i} * stride + 4 * k, 4);
          std::memcpy(&wf, want.outer[s]->data() + std::size_t{i} * stride + 4 * k, 4);
          CheckFloat(family.name, "SkinnedMeshBlend normal stream", i, gf, wf,
                     normal_bound(i, inner_streams + s, k));
        }
      }
      CheckOutside(family.name, "SkinnedMeshBlend normal stream", *got.outer[s], *want.outer[s]);
    }
  }
}

// ---- Tessellation ------------------------------------------------------------------

void FuzzTessellation(FuzzedDataProvider& in) {
  // Sizes outside 3 to 68 must write nothing.
  const std::uint32_t vertex_size = in.ConsumeIntegralInRange<int>(0, 15) == 0
                                        ? in.ConsumeIntegralInRange<std::uint32_t>(0, 80)
                                        : in.ConsumeIntegralInRange<std::uint32_t>(3, 12);
  const bool valid = vertex_size >= 3 && vertex_size <= 68;
  const std::uint32_t count = in.ConsumeIntegralInRange<std::uint32_t>(0, 40);
  const std::size_t corner_floats = std::max<std::uint32_t>(vertex_size, 3);

  GuardedBuffer normals(36, in.ConsumeBool(), in.ConsumeIntegralInRange<std::size_t>(0, 3) * 4);
  float nf[9];
  for (float& f : nf) f = in.ConsumeFloatingPointInRange<float>(-1.5f, 1.5f);
  if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
    nf[in.ConsumeIntegralInRange<int>(0, 8)] = DrawFloat(in);
  std::memcpy(normals.data(), nf, 36);
  std::unique_ptr<GuardedBuffer> corners[3];
  double corner_max = 0.0, extra_max[80] = {};
  bool tame = AllTame(nf, 9);
  for (auto& c : corners) {
    const Placement at = DrawPlacement(in, 4);
    c = std::make_unique<GuardedBuffer>(corner_floats * 4, at.at_start, at.offset);
    std::vector<float> f(corner_floats);
    DrawFloats(in, f.data(), corner_floats);
    std::memcpy(c->data(), f.data(), corner_floats * 4);
    tame = tame && AllTame(f.data(), corner_floats);
    for (std::size_t j = 0; j < corner_floats; ++j) {
      if (j < 3) corner_max = std::max(corner_max, std::fabs(double(f[j])));
      extra_max[j] = std::max(extra_max[j], std::fabs(double(f[j])));
    }
  }
  const Placement sample_at = DrawPlacement(in, 4), out_at = DrawPlacement(in, 4);
  GuardedBuffer samples(std::size_t{count} * 8, sample_at.at_start, sample_at.offset);
  std::vector<float> uv(std::size_t{count} * 2);
  for (float& f : uv) {
    f = in.ConsumeIntegralInRange<int>(0, 15) == 0
            ? DrawFloat(in)
            : in.ConsumeFloatingPointInRange<float>(-0.5f, 1.5f);
  }
  if (!uv.empty()) std::memcpy(samples.data(), uv.data(), uv.size() * 4);
  const std::size_t out_bytes = valid ? std::size_t{count} * vertex_size * 4 : 0;
  // An invalid size still gets room for one vertex, to catch a write.
  const std::size_t out_alloc = valid ? out_bytes : std::size_t{count} * 4 * 4;

  auto run = [&](const OperationTable& table, GuardedBuffer& output) {
    Bind(table);
    table.Get<Slot::NPatchTessellate>()(
        reinterpret_cast<const KMVECTOR3*>(normals.data()),
        reinterpret_cast<const float*>(samples.data()), count,
        reinterpret_cast<float*>(output.data()), reinterpret_cast<const float*>(corners[0]->data()),
        reinterpret_cast<const float*>(corners[1]->data()),
        reinterpret_cast<const float*>(corners[2]->data()), vertex_size);
    Bind(RunnableFamilies().front().table);
  };
  GuardedBuffer want(out_alloc, out_at.at_start, out_at.offset);
  run(ReferenceTable(), want);
  if (!valid) {
    GuardedBuffer untouched(out_alloc, out_at.at_start, out_at.offset);
    CheckBytes("reference", "NPatchTessellate with an invalid vertex size", want.inner(),
               untouched.inner(), want.inner_size());
  }
  double normal_max = 0.0;
  for (float f : nf) normal_max = std::max(normal_max, std::fabs(double(f)));

  for (const Family& family : RunnableFamilies()) {
    GuardedBuffer got(out_alloc, out_at.at_start, out_at.offset);
    run(family.table, got);
    if (!valid) {
      CheckBytes(family.name, "NPatchTessellate with an invalid vertex size", got.inner(),
                 want.inner(), want.inner_size());
      continue;
    }
    for (std::uint32_t s = 0; s < count; ++s) {
      const double u = uv[2 * s], v = uv[2 * s + 1], w = 1.0 - u - v;
      const double spread = std::fabs(u) + std::fabs(v) + std::fabs(w);
      const bool sample_tame = tame && Tame(u + 4.0) && Tame(v + 4.0);
      for (std::uint32_t j = 0; j < vertex_size; ++j) {
        // Positions: cubic in (u, v, w) over control points made of corners
        // and corner-to-corner projections on the normals.
        const double bound = !sample_tame ? kInfinity
                             : j < 3      ? 8.0 * spread * spread * spread * corner_max *
                                           (1.0 + 3.0 * normal_max * normal_max)
                                     : 2.0 * spread * extra_max[j];
        float gf, wf;
        std::memcpy(&gf, got.data() + (std::size_t{s} * vertex_size + j) * 4, 4);
        std::memcpy(&wf, want.data() + (std::size_t{s} * vertex_size + j) * 4, 4);
        CheckFloat(family.name, "NPatchTessellate", std::size_t{s} * vertex_size + j, gf, wf,
                   bound);
      }
    }
    CheckOutside(family.name, "NPatchTessellate output", got, want);
  }
}

}  // namespace
}  // namespace kubik::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    kubik::fuzz::FuzzSkinning(in);
  } else {
    kubik::fuzz::FuzzTessellation(in);
  }
  return 0;
}
