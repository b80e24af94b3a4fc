// Cases and exact results for the geometry pipeline slots, on their own
// vertex layouts.
//
// Skinning: (position matrices, normal matrices, vertices, influences) with
// a vertex of position, one normal and two further floats (32 bytes).
// Tessellation: (normals, samples, corners) with a vertex of position and
// three further floats.
#pragma once

#include <optional>
#include <vector>

#include "tests/math/accuracy/exact.h"
#include "tests/math/accuracy/measure.h"

namespace kubik::accuracy {

const SlotMeasure& SkinningMeasure();
const SlotMeasure& TessellationMeasure();

std::optional<ExactOutputs> ExactSkinning(const std::vector<std::vector<float>>& values);
std::optional<ExactOutputs> ExactTessellation(const std::vector<std::vector<float>>& values);

}  // namespace kubik::accuracy
