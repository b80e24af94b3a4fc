#include "tools/accuracy/peers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "math/dispatch/operation_table.h"
#include "tests/math/accuracy/measure.h"

#ifdef KUBIK_ACCURACY_PEERS
#include "bench/peers/peer_bench.h"
#endif

namespace kubik::accuracy {

#ifndef KUBIK_ACCURACY_PEERS

std::vector<std::string> PeerNames() {
  return {};
}
std::vector<PeerRow> MeasurePeers(int) {
  return {};
}

#else

namespace {

using Values = std::vector<std::vector<float> >;

// A peer's result on a case laid out as the slot's harness case, or nothing
// when the peer lacks the operation. Alignment as the peers need it.
std::optional<std::vector<float> > RunPeer(Slot slot, const peers::Kernels& k, const Values& p) {
  alignas(64) float a[16], b[16], out[16];
  auto load = [](float* to, const std::vector<float>& from) {
    std::copy(from.begin(), from.end(), to);
  };
  switch (slot) {
    case Slot::KMMatrixMultiply:
      if (!k.mat4_multiply) return std::nullopt;
      load(a, p[1]), load(b, p[2]);
      k.mat4_multiply(out, a, b);
      return std::vector<float>(out, out + 16);
    case Slot::KMMatrixInverse:
      if (!k.mat4_inverse) return std::nullopt;
      load(a, p[2]);
      k.mat4_inverse(out, a);
      return std::vector<float>(out, out + 16);
    case Slot::KMVec3TransformCoord:
      if (!k.transform_coord) return std::nullopt;
      load(a, p[1]), load(b, p[2]);
      k.transform_coord(out, a, b);
      return std::vector<float>(out, out + 3);
    case Slot::KMVec3Normalize:
      if (!k.vec3_normalize) return std::nullopt;
      load(a, p[1]);
      k.vec3_normalize(out, a);
      return std::vector<float>(out, out + 3);
    case Slot::KMQuaternionMultiply:
      if (!k.quat_multiply) return std::nullopt;
      load(a, p[1]), load(b, p[2]);
      k.quat_multiply(out, a, b);
      return std::vector<float>(out, out + 4);
    case Slot::KMQuaternionSlerp:
      if (!k.quat_slerp) return std::nullopt;
      load(a, p[1]), load(b, p[2]);
      k.quat_slerp(out, a, b, p[3][0]);
      return std::vector<float>(out, out + 4);
    case Slot::KMMatrixRotationYawPitchRoll:
      if (!k.yaw_pitch_roll) return std::nullopt;
      k.yaw_pitch_roll(out, p[1][0], p[2][0], p[3][0]);
      return std::vector<float>(out, out + 16);
    case Slot::KMFloat32To16Array: {
      if (!k.float32_to_16) return std::nullopt;
      std::vector<std::uint16_t> halves(std::max<std::size_t>(p[1].size(), 1));
      k.float32_to_16(halves.data(), p[1].data(), static_cast<std::uint32_t>(p[1].size()));
      return std::vector<float>(halves.begin(), halves.end());
    }
    case Slot::KMFloat16To32Array: {
      if (!k.float16_to_32) return std::nullopt;
      std::vector<std::uint16_t> halves(p[1].begin(), p[1].end());
      std::vector<float> floats(std::max<std::size_t>(p[1].size(), 1));
      k.float16_to_32(floats.data(), halves.data(), static_cast<std::uint32_t>(p[1].size()));
      return floats;
    }
    default:
      return std::nullopt;
  }
}

// The cases on which a peer's conventions agree with this library's, as
// the peer benchmark chooses its data: unit quaternions with a positive dot
// product and t in [0, 1] for slerp (not every peer takes the shorter arc,
// extrapolates, or accepts other lengths),
// floats in the normal range of both half
// formats (this library's half has no infinities and reaches 131008), and
// no half with exponent 31 (infinities and NaNs in IEEE).
bool InPeerDomain(Slot slot, const Values& p) {
  switch (slot) {
    case Slot::KMQuaternionSlerp: {
      double dot = 0, length1 = 0, length2 = 0;
      for (int i = 0; i < 4; ++i) {
        dot += static_cast<double>(p[1][i]) * p[2][i];
        length1 += static_cast<double>(p[1][i]) * p[1][i];
        length2 += static_cast<double>(p[2][i]) * p[2][i];
      }
      return dot >= 0 && p[3][0] >= 0 && p[3][0] <= 1 && std::fabs(length1 - 1) < 1e-6 &&
             std::fabs(length2 - 1) < 1e-6;
    }
    case Slot::KMFloat32To16Array:
      return std::all_of(p[1].begin(), p[1].end(), [](float x) {
        return std::fabs(x) >= 0x1p-14f && std::fabs(x) < 65504.0f;
      });
    case Slot::KMFloat16To32Array:
      return std::all_of(p[1].begin(), p[1].end(), [](float bits) {
        return ((static_cast<std::uint32_t>(bits) >> 10) & 31) != 31;
      });
    default:
      return true;
  }
}

constexpr Slot kPeerSlots[] = {
    Slot::KMMatrixMultiply,
    Slot::KMMatrixInverse,
    Slot::KMVec3TransformCoord,
    Slot::KMVec3Normalize,
    Slot::KMQuaternionMultiply,
    Slot::KMQuaternionSlerp,
    Slot::KMMatrixRotationYawPitchRoll,
    Slot::KMFloat32To16Array,
    Slot::KMFloat16To32Array,
};

const peers::Kernels* const kPeers[] = {&peers::GlmKernels(), &peers::EigenKernels(),
                                        &peers::CglmKernels()};

}  // namespace

std::vector<std::string> PeerNames() {
  return {"GLM", "Eigen", "cglm"};
}

std::vector<PeerRow> MeasurePeers(int cases) {
  std::vector<PeerRow> rows;
  for (Slot s : kPeerSlots) {
    const auto slot = static_cast<unsigned>(s);
    const SlotMeasure& measure = MeasureOf(slot);
    PeerRow row{slot, std::vector<std::optional<PeerFigures> >(std::size(kPeers))};
    for (std::size_t i = 0; i < std::size(kPeers); ++i) {
      // The same seed as the families' measure: the same cases.
      std::mt19937 random(1 * 7919u + slot);
      PeerFigures figures;
      bool present = true;
      for (Inputs kind : {Inputs::kRandom, Inputs::kWellConditioned}) {
        for (int n = 0; n < cases && present; ++n) {
          const conformance::Case c = measure.MakeCase(random, kind);
          std::optional<ExactOutputs> exact = ExactOf(slot, c);
          if (!exact || !InPeerDomain(s, c.values)) continue;
          const std::optional<std::vector<float> > got = RunPeer(s, *kPeers[i], c.values);
          if (!got) {
            present = false;
            break;
          }
          exact->resize(std::min(exact->size(), got->size()));  // the inverse: no determinant
          const Error error = ErrorOf(*exact, *got);
          figures.units = std::max(figures.units, error.units);
          if (kind == Inputs::kWellConditioned) {
            figures.relative = std::max(figures.relative, error.relative);
          }
        }
      }
      if (present) row.peers[i] = figures;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

#endif

}  // namespace kubik::accuracy
