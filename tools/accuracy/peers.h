// GLM, Eigen and cglm measured like the families, on the operations the
// peer benchmark times. Empty when the program is built without them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kubik::accuracy {

struct PeerFigures {
  double units = 0;     // over random and well-conditioned cases
  double relative = 0;  // over well-conditioned cases
};

struct PeerRow {
  unsigned slot;
  std::vector<std::optional<PeerFigures>> peers;  // per PeerNames(); empty where a peer lacks it
};

std::vector<std::string> PeerNames();
std::vector<PeerRow> MeasurePeers(int cases);

}  // namespace kubik::accuracy
