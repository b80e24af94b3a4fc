// Measures every dispatched operation of every implementation family that
// runs on this machine (and GLM, Eigen and cglm for the operations the peer
// benchmark times) against the exact result, prints each family's bound
// beside the figure, and writes the Markdown table. Exits 1 when a figure
// exceeds its bound, after writing the table.
//
//   kubik_accuracy [--cases N] [--no-peers] [--suggest-bounds] [--scale-bounds F] [output]
//
// (default: docs/accuracy.md, 2000 cases). --suggest-bounds prints, for each
// family, a bound list for the slots it fills or makes less exact: the
// measured figure with a margin, for a family's author to review.
// --scale-bounds multiplies every bound (the tests tighten them to see the
// program fail).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "math/cpu/selection.h"
#include "tests/math/accuracy/bounds.h"
#include "tests/math/accuracy/exact.h"
#include "tests/math/accuracy/measure.h"
#include "tests/math/conformance/conformance.h"
#include "tools/accuracy/peers.h"

namespace {

using kubik::accuracy::SlotFigures;

struct Family {
  const kubik::ImplementationFamily* family;
  std::unique_ptr<kubik::OperationTable> table;
};

struct Row {
  unsigned slot;
  std::vector<SlotFigures> figures;  // per family
  std::vector<double> bounds;
};

// Large figures and their causes, for the reader: per family (null: any
// family; "simd": any but the double-precision reference and x87 families).
struct Cause {
  const char* family;
  kubik::Slot slot;
  const char* text;
};

const Cause kCauses[] = {
    {"sse", kubik::Slot::KMQuaternionInverse,
     "divides by the squared length through a refined reciprocal estimate"},
    {"simd", kubik::Slot::KMVec3ProjectArray,
     "the combined matrix formed by single-precision products with the viewport folded in, "
     "then a refined reciprocal of w"},
    {"3dnow", kubik::Slot::KMMatrixTransformation2D,
     "the rotations from the packed sine and cosine kernels, then single-precision products"},
    {"3dnow", kubik::Slot::KMMatrixAffineTransformation2D,
     "the rotation from the packed sine and cosine kernels, then a single-precision product"},
    {"x87", kubik::Slot::KMVec3Normalize,
     "multiplies by 1/sqrt read from a 512-segment table, good to about 1.5e-6 relative"},
    {"x87", kubik::Slot::KMQuaternionRotationAxis,
     "normalises its axis through the tuned `KMVec3Normalize` and its table"},
    {"x87", kubik::Slot::KMMatrixRotationAxis,
     "normalises its axis through the tuned `KMVec3Normalize` and its table"},
    {"x87", kubik::Slot::KMPlaneFromPoints,
     "normalises the normal through the tuned `KMVec3Normalize` and its table"},
    {nullptr, kubik::Slot::KMMatrixTransformation,
     "a composite: its factor matrices are stored as floats between the products"},
    {nullptr, kubik::Slot::KMMatrixTransformation2D,
     "a composite: its factor matrices are stored as floats between the products, the "
     "rotations' sines and cosines too"},
    {nullptr, kubik::Slot::KMMatrixAffineTransformation2D,
     "the rotation's sine and cosine stored as floats, then the product"},
    {nullptr, kubik::Slot::KMMatrixAffineTransformation,
     "the rotation matrix stored as floats, then the product"},
    {nullptr, kubik::Slot::SkinnedMeshBlend,
     "each influence's transformed point is rounded to float, weighted and summed in float"},
    {nullptr, kubik::Slot::KMQuaternionBaryCentric,
     "three slerps, the first two results stored as floats"},
    {nullptr, kubik::Slot::KMQuaternionSquad,
     "three slerps, the first two results and the weight stored as floats"},
    {"simd", kubik::Slot::KMMatrixReflect,
     "the plane is normalised with a refined reciprocal square root estimate, even when it "
     "is of unit length already"},
    {"simd", kubik::Slot::KMMatrixShadow,
     "the plane is normalised with a refined reciprocal square root estimate"},
    {"simd", kubik::Slot::KMVec2Hermite, "spline weights formed and applied in single precision"},
    {"simd", kubik::Slot::KMVec3Hermite, "spline weights formed and applied in single precision"},
    {"simd", kubik::Slot::KMVec4Hermite, "spline weights formed and applied in single precision"},
    {"simd", kubik::Slot::KMVec2CatmullRom,
     "spline weights formed and applied in single precision"},
    {"simd", kubik::Slot::KMVec3CatmullRom,
     "spline weights formed and applied in single precision"},
    {"simd", kubik::Slot::KMVec4CatmullRom,
     "spline weights formed and applied in single precision"},
    {"simd", kubik::Slot::NPatchTessellate,
     "control net and basis weights formed in single precision"},
    {"3dnow", kubik::Slot::KMMatrixRotationX, "the packed sine and cosine kernels (about 3e-7)"},
    {"3dnow", kubik::Slot::KMMatrixRotationY, "the packed sine and cosine kernels (about 3e-7)"},
    {"3dnow", kubik::Slot::KMMatrixRotationZ, "the packed sine and cosine kernels (about 3e-7)"},
    {"3dnow", kubik::Slot::KMFloat32To16Array,
     "one unit within a float rounding step of a subnormal halfway point, as documented"},
    {"simd", kubik::Slot::KMMatrixInverse,
     "single-precision cofactors and a refined reciprocal of the determinant"},
    {"simd", kubik::Slot::KMMatrixDeterminant, "single-precision minors"},
    {"simd", kubik::Slot::KMVec2TransformCoord, "the division by w: a refined reciprocal"},
    {"simd", kubik::Slot::KMVec3TransformCoord, "the division by w: a refined reciprocal"},
};

const char* CauseOf(const char* family, unsigned slot) {
  for (const Cause& cause : kCauses) {
    const bool simd = std::strcmp(family, "reference") != 0 && std::strcmp(family, "x87") != 0;
    if (static_cast<unsigned>(cause.slot) == slot &&
        (!cause.family || std::strcmp(cause.family, family) == 0 ||
         (simd && std::strcmp(cause.family, "simd") == 0))) {
      return cause.text;
    }
  }
  return nullptr;
}

std::string Command(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
  return output;
}

std::string MachineModel() {
  std::istringstream lscpu(Command("lscpu 2>/dev/null"));
  for (std::string line; std::getline(lscpu, line);) {
    if (line.rfind("Model name:", 0) == 0) {
      const std::size_t start = line.find_first_not_of(' ', 11);
      return start == std::string::npos ? "unknown" : line.substr(start);
    }
  }
  return "unknown";
}

std::string Commit() {
  const std::string commit =
      Command("git -C '" KUBIK_SOURCE_DIR "' describe --always --dirty --abbrev=12 2>/dev/null");
  return commit.empty() ? "unknown" : commit;
}

std::string Units(double units) {
  if (std::isinf(units)) return "not finite";
  char text[32];
  std::snprintf(text, sizeof text, units < 10 ? "%.2f" : "%.0f", units);
  return text;
}

std::string Relative(double relative) {
  if (std::isinf(relative)) return "not finite";
  if (relative == 0) return "0";
  char text[32];
  std::snprintf(text, sizeof text, "%.1e", relative);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = "docs/accuracy.md";
  int cases = 2000;
  bool peers = true;
  bool suggest = false;
  double bound_scale = 1;  // tests tighten every bound to see the program fail
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--cases" && i + 1 < argc) {
      cases = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--no-peers") {
      peers = false;
    } else if (arg == "--suggest-bounds") {
      suggest = true;
    } else if (arg == "--scale-bounds" && i + 1 < argc) {
      bound_scale = std::atof(argv[++i]);
    } else if (!arg.empty() && arg[0] == '-') {
      std::cerr << "usage: kubik_accuracy [--cases N] [--no-peers] [--suggest-bounds] "
                   "[--scale-bounds F] [output file]\n";
      return 2;
    } else {
      path = arg;
    }
  }
  const auto start = std::chrono::steady_clock::now();

  std::vector<Family> families;
  std::vector<std::string> absent, simulated;
  for (const kubik::ImplementationFamily& family : kubik::ImplementationFamilies()) {
    const kubik::ProcessorProbe* processor = kubik::accuracy::MeasuringProcessorFor(family);
    if (!processor) {
      absent.push_back(family.name);
      continue;
    }
    if (processor != &kubik::RealProcessor()) simulated.push_back(family.name);
    auto table = std::make_unique<kubik::OperationTable>();
    family.install(*table, *processor);
    families.push_back({&family, std::move(table)});
  }

  // ---- Measuring ----
  std::vector<Row> rows;
  std::vector<std::string> exceeded;
  for (unsigned slot = 0; slot < kubik::kSlotCount; ++slot) {
    Row row{slot, {}, {}};
    for (const Family& f : families) {
      row.figures.push_back(kubik::accuracy::MeasureSlot(slot, *f.table, f.family->name, cases));
      row.bounds.push_back(bound_scale * kubik::accuracy::BoundOf(f.family->name, slot));
      if (!(row.figures.back().units <= row.bounds.back())) {
        exceeded.push_back(std::string(f.family->name) + " " + kubik::SlotName(slot) + ": " +
                           Units(row.figures.back().units) + " units, bound " +
                           Units(row.bounds.back()) + " (" +
                           kubik::accuracy::BoundSourceOf(f.family->name, slot) +
                           "'s list); worst " + row.figures.back().worst);
      }
    }
    rows.push_back(std::move(row));
    std::cerr << "." << std::flush;
  }
  std::cerr << "\n";
  kubik::ResetSelectionForTesting();

  std::vector<kubik::accuracy::PeerRow> peer_rows;
  if (peers) peer_rows = kubik::accuracy::MeasurePeers(cases);
  kubik::ResetSelectionForTesting();

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // ---- The document ----
  std::ostringstream doc;
  doc << "# Accuracy of the implementation families\n\n"
      << "Every figure is the largest error seen, for each dispatched operation of each "
         "implementation family, against the exact result of the operation on the same float "
         "inputs (evaluated in extended precision, no intermediate rounding). The error of an "
         "output is measured in units of 2^-24 times the *magnitude that rounding can reach* "
         "while forming it: for a sum, the sum of the absolute values of its terms. Example: "
         "an element of a 4×4 product, a·b = 1.5×1 + 2×(−0.75) + 3×1e-3 + 4×2e-3 = 0.011, has "
         "the magnitude 1.5 + 1.5 + 0.003 + 0.008 = 3.011; a float kernel's roundings are "
         "proportional to that, not to 0.011, so an error of 3×10^-7 in it reads "
         "3e-7 / (2^-24 × 3.011) ≈ 1.7 units, where counted in units in the last place of "
         "0.011 it would read about 320. A correctly rounded result reads at most 1 unit and a "
         "kernel that rounds a few times reads a few units, however much its terms cancel. "
         "The second table gives the plain relative error (the largest error in a record over "
         "the record's largest exact component) on well-conditioned inputs only: rotations, "
         "unit quaternions and vectors, parameters in [0, 1].\n\n"
      << "Each family's accepted error per operation (its *bound*, in the same units) is data "
         "beside the family's slot list; the conformance suite asserts it on its cases and this "
         "program fails when a figure exceeds it. Figures are shown as *measured / bound*.\n\n"
      << "- Machine: " << MachineModel() << "\n"
      << "- Compiler: GCC " << __VERSION__ << "\n"
      << "- Commit: " << Commit() << "\n"
      << "- Cases: " << cases << " random and " << cases
      << " well-conditioned argument sets per operation and family (random: every input "
         "component uniform in [-M, M], M chosen per argument among 1e-4, 1e-2, 1, 1e2 and 1e4; "
         "arrays of 1 to 9 elements with padding; skinning and tessellation on their own vertex "
         "layouts). Cases a family documents as outside its domain are not measured (counted "
         "under the table).\n"
      << "- Regenerate: `cmake --build --preset release --target kubik_accuracy && "
         "./build/release/bin/kubik_accuracy docs/accuracy.md` ("
      << static_cast<int>(seconds) << " s here).\n\n";
  for (const std::string& name : simulated) {
    doc << "The " << name
        << " family cannot run on this machine; the library builds it in a portable form "
           "whose estimates keep exactly the instructions' good bits, and that form is measured "
           "here on a simulated processor.\n\n";
  }
  if (!absent.empty()) {
    doc << "Families that cannot run on this machine, not measured:";
    for (const std::string& name : absent) doc << " " << name;
    doc << ".\n\n";
  }

  doc << "## Error in units of 2^-24 × magnitude (measured / bound)\n\n| Slot | Operation |";
  for (const Family& f : families) doc << " " << f.family->name << " |";
  doc << "\n|---|---|";
  for (std::size_t i = 0; i < families.size(); ++i) doc << "---|";
  doc << "\n";
  for (const Row& row : rows) {
    doc << "| " << row.slot << " | `" << kubik::SlotName(row.slot) << "` |";
    for (std::size_t i = 0; i < families.size(); ++i) {
      const bool over = !(row.figures[i].units <= row.bounds[i]);
      doc << " " << (over ? "**" : "") << Units(row.figures[i].units) << " / "
          << Units(row.bounds[i]) << (over ? " exceeded**" : "") << " |";
    }
    doc << "\n";
  }

  doc << "\n## Relative error on well-conditioned inputs\n\n| Slot | Operation |";
  for (const Family& f : families) doc << " " << f.family->name << " |";
  doc << "\n|---|---|";
  for (std::size_t i = 0; i < families.size(); ++i) doc << "---|";
  doc << "\n";
  for (const Row& row : rows) {
    doc << "| " << row.slot << " | `" << kubik::SlotName(row.slot) << "` |";
    for (std::size_t i = 0; i < families.size(); ++i) {
      doc << " " << Relative(row.figures[i].relative) << " |";
    }
    doc << "\n";
  }

  if (!peer_rows.empty()) {
    doc << "\n## Against GLM, Eigen and cglm\n\n"
        << "The operations the peer benchmark (`bench_peers`) times, on the same inputs, each "
           "peer's conventions mapped as the benchmark maps them (column-major storage read as "
           "this library's row-major transpose, the product order reversed). The peers are "
           "built as a user would build them for this machine (`-O3 -march=native`). Each cell: "
           "units of 2^-24 × magnitude over all cases, then the relative error on "
           "well-conditioned inputs. The peers divide by w unconditionally; this library "
           "leaves w within 2^-23 of 1 undivided. Where the conventions differ the peers are "
           "measured on the benchmark's kind of data only: slerp on unit quaternions with a "
           "positive dot product and t in [0, 1]; the half conversions on the normal range of "
           "IEEE halves (this library's half format has no infinities and NaNs and reaches "
           "131008). A dash: the peer has no such operation.\n\n| Operation |";
    for (const Family& f : families) doc << " " << f.family->name << " |";
    for (const std::string& name : kubik::accuracy::PeerNames()) doc << " " << name << " |";
    doc << "\n|---|";
    for (std::size_t i = 0; i < families.size() + kubik::accuracy::PeerNames().size(); ++i) {
      doc << "---|";
    }
    doc << "\n";
    for (const kubik::accuracy::PeerRow& peer_row : peer_rows) {
      doc << "| `" << kubik::SlotName(peer_row.slot) << "` |";
      for (const Row& row : rows) {
        if (row.slot != peer_row.slot) continue;
        for (const SlotFigures& f : row.figures) {
          doc << " " << Units(f.units) << " (" << Relative(f.relative) << ") |";
        }
      }
      for (const auto& figure : peer_row.peers) {
        if (figure) {
          doc << " " << Units(figure->units) << " (" << Relative(figure->relative) << ") |";
        } else {
          doc << " — |";
        }
      }
      doc << "\n";
    }
  }

  // The five largest figures of each family, with the case that gave them.
  doc << "\n## Largest errors per family\n\n";
  for (std::size_t i = 0; i < families.size(); ++i) {
    std::vector<const Row*> order;
    for (const Row& row : rows) order.push_back(&row);
    std::stable_sort(order.begin(), order.end(), [&](const Row* a, const Row* b) {
      return a->figures[i].units > b->figures[i].units;
    });
    doc << "**" << families[i].family->name << "**\n\n";
    std::cerr << families[i].family->name << ": largest errors\n";
    for (std::size_t k = 0; k < 5 && k < order.size(); ++k) {
      const Row& row = *order[k];
      const char* cause = CauseOf(families[i].family->name, row.slot);
      doc << "- `" << kubik::SlotName(row.slot) << "`: " << Units(row.figures[i].units) << " units"
          << (cause ? std::string(": ") + cause : std::string())
          << ". Worst: " << row.figures[i].worst << ".\n";
      std::cerr << "  " << kubik::SlotName(row.slot) << " " << Units(row.figures[i].units)
                << " units" << (cause ? std::string(" (") + cause + ")" : std::string()) << "\n";
    }
    doc << "\n";
  }

  doc << "## Cases not measured\n\n";
  bool any_skipped = false;
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < families.size(); ++i) {
      const SlotFigures& f = row.figures[i];
      if (f.outside_domain == 0 && f.without_result == 0) continue;
      any_skipped = true;
      doc << "- " << families[i].family->name << " `" << kubik::SlotName(row.slot) << "`:";
      if (f.outside_domain) doc << " " << f.outside_domain << " outside the documented domain";
      if (f.outside_domain && f.without_result) doc << ",";
      if (f.without_result) doc << " " << f.without_result << " without a result";
      doc << " (of " << 2 * cases << ").\n";
    }
  }
  if (!any_skipped) doc << "None.\n";

  doc << "\n## Magnitude per operation\n\n";
  for (const Row& row : rows) {
    doc << "- `" << kubik::SlotName(row.slot) << "`: " << kubik::accuracy::MagnitudeOf(row.slot)
        << ".\n";
  }

  std::ofstream out(path);
  out << doc.str();
  if (!out) {
    std::cerr << "kubik_accuracy: cannot write " << path << "\n";
    return 1;
  }
  if (suggest) {
    for (std::size_t i = 0; i < families.size(); ++i) {
      const char* name = families[i].family->name;
      const bool reference = std::strcmp(name, "reference") == 0;
      const char* base_name = kubik::conformance::ConformanceOf(name).builds_on;
      const kubik::ImplementationFamily* base =
          kubik::FindImplementationFamily(base_name ? base_name : "reference");
      kubik::OperationTable base_table;
      if (base) base->install(base_table, kubik::RealProcessor());
      std::cout << "// " << name << "\n";
      for (const Row& row : rows) {
        const double base_bound =
            kubik::accuracy::BoundOf(base_name ? base_name : "reference", row.slot);
        const bool own =
            base && base_table.Address(row.slot) != families[i].table->Address(row.slot);
        const double suggested = kubik::accuracy::SuggestedBound(row.figures[i].units);
        if (reference || own || suggested > base_bound) {
          std::cout << "  X(" << kubik::SlotName(row.slot) << ", " << suggested << ") \\\n";
        }
      }
    }
  }
  std::cerr << "wrote " << path << " (" << families.size() << " families, " << cases
            << " cases of each kind per slot, " << seconds << " s)\n";
  for (const std::string& line : exceeded) std::cerr << "BOUND EXCEEDED: " << line << "\n";
  return exceeded.empty() ? 0 : 1;
}
