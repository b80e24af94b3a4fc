// Measures every dispatched operation of every family that runs on this
// machine against a double-precision evaluation of the reference formula,
// and writes the largest error seen, in units in the last place, as a
// Markdown table.
//
//   kubik_accuracy [output file]     (default: docs/accuracy.md)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "math/cpu/selection.h"
#include "tests/math/conformance/conformance.h"

namespace {

using kubik::Slot;
using kubik::conformance::Case;
using kubik::conformance::Outcome;
using kubik::conformance::SlotCases;
using Values = std::vector<std::vector<float>>;
using Exact = std::vector<double> (*)(const Values& parameters);

constexpr int kCasesPerSlot = 4000;

// ---- The reference formulas, evaluated in long double -------------------------

// (v, 0.., 1 for a point) x m, the first `outputs` components.
std::vector<double> Transform(const std::vector<float>& v, const std::vector<float>& m, bool point,
                              int outputs) {
  std::vector<double> out(outputs);
  for (int j = 0; j < outputs; ++j) {
    long double sum = 0;
    for (std::size_t r = 0; r < v.size(); ++r) sum += static_cast<long double>(v[r]) * m[r * 4 + j];
    if (point && v.size() < 4) sum += m[12 + j];
    out[j] = static_cast<double>(sum);
  }
  return out;
}

std::vector<double> Coordinates(const std::vector<float>& v, const std::vector<float>& m) {
  const std::vector<double> p = Transform(v, m, true, 4);
  std::vector<double> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = p[i] / p[3];
  return out;
}

std::vector<double> Product(const std::vector<float>& a, const std::vector<float>& b,
                            bool transposed) {
  std::vector<double> out(16);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      long double sum = 0;
      for (int k = 0; k < 4; ++k) sum += static_cast<long double>(a[i * 4 + k]) * b[k * 4 + j];
      out[transposed ? j * 4 + i : i * 4 + j] = static_cast<double>(sum);
    }
  }
  return out;
}

// v / |first `length_of` components|.
std::vector<double> Normalized(const std::vector<float>& v, std::size_t length_of) {
  long double sum = 0;
  for (std::size_t i = 0; i < length_of; ++i) sum += static_cast<long double>(v[i]) * v[i];
  std::vector<double> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = static_cast<double>(v[i] / std::sqrt(sum));
  return out;
}

using Vector = std::vector<float>;

// Hermite, Catmull-Rom and barycentric weights applied per component.
std::vector<double> Weighted(const std::vector<const Vector*>& inputs,
                             const std::vector<long double>& weights, bool from_first = false) {
  std::vector<double> out(inputs[0]->size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    long double sum = from_first ? (*inputs[0])[i] : 0;
    for (std::size_t k = 0; k < weights.size(); ++k) {
      const long double term = from_first
                                   ? (*inputs[k + 1])[i] - static_cast<long double>((*inputs[0])[i])
                                   : (*inputs[k])[i];
      sum += weights[k] * term;
    }
    out[i] = static_cast<double>(sum);
  }
  return out;
}

std::vector<double> Hermite(const Values& p) {
  const long double s = p[5][0], s2 = s * s, s3 = s * s2;
  return Weighted({&p[1], &p[2], &p[3], &p[4]},
                  {2 * s3 - 3 * s2 + 1, s3 - 2 * s2 + s, 3 * s2 - 2 * s3, s3 - s2});
}

std::vector<double> CatmullRom(const Values& p) {
  const long double s = p[5][0], s2 = s * s, s3 = s * s2;
  return Weighted({&p[1], &p[2], &p[3], &p[4]},
                  {0.5L * (2 * s2 - s3 - s), 0.5L * (3 * s3 - 5 * s2 + 2),
                   0.5L * (4 * s2 - 3 * s3 + s), 0.5L * (s3 - s2)});
}

std::vector<double> BaryCentric(const Values& p) {
  return Weighted({&p[1], &p[2], &p[3]}, {p[4][0], p[5][0]}, true);
}

std::vector<double> Cross4(const Values& p) {
  const Vector &u = p[1], &v = p[2], &w = p[3];
  auto minor = [&](int i, int j) {
    return static_cast<long double>(v[i]) * w[j] - static_cast<long double>(v[j]) * w[i];
  };
  const long double a = minor(0, 1), b = minor(0, 2), c = minor(0, 3), d = minor(1, 2),
                    e = minor(1, 3), f = minor(2, 3);
  return {static_cast<double>(f * u[1] - e * u[2] + d * u[3]),
          static_cast<double>(-f * u[0] + c * u[2] - b * u[3]),
          static_cast<double>(e * u[0] - c * u[1] + a * u[3]),
          static_cast<double>(-d * u[0] + b * u[1] - a * u[2])};
}

// The normal is stored as floats before it is normalised, and d is formed
// from the stored unit normal: those two roundings belong to the formula.
std::vector<double> PlaneFromPoints(const Values& p) {
  const Vector &a = p[1], &b = p[2], &c = p[3];
  long double n[3];
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3, k = (i + 2) % 3;
    n[i] = static_cast<float>(
        (static_cast<long double>(b[j]) - a[j]) * (static_cast<long double>(c[k]) - a[k]) -
        (static_cast<long double>(b[k]) - a[k]) * (static_cast<long double>(c[j]) - a[j]));
  }
  const long double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  for (long double& x : n) x /= length;
  const long double stored[3] = {static_cast<float>(n[0]), static_cast<float>(n[1]),
                                 static_cast<float>(n[2])};
  return {static_cast<double>(n[0]), static_cast<double>(n[1]), static_cast<double>(n[2]),
          static_cast<double>(-(stored[0] * a[0] + stored[1] * a[1] + stored[2] * a[2]))};
}

long double Determinant3(const Vector& m, int skip_column) {
  int c[3], k = 0;
  for (int j = 0; j < 4; ++j) {
    if (j != skip_column) c[k++] = j;
  }
  auto at = [&](int r, int j) { return static_cast<long double>(m[r * 4 + c[j]]); };
  return at(1, 0) * (at(2, 1) * at(3, 2) - at(2, 2) * at(3, 1)) -
         at(1, 1) * (at(2, 0) * at(3, 2) - at(2, 2) * at(3, 0)) +
         at(1, 2) * (at(2, 0) * at(3, 1) - at(2, 1) * at(3, 0));
}

std::vector<double> Determinant(const Values& p) {
  long double det = 0;
  for (int j = 0; j < 4; ++j) det += (j % 2 ? -1 : 1) * p[0][j] * Determinant3(p[0], j);
  return {static_cast<double>(det)};
}

enum class Form { kPoint, kNormal, kCoord };

// Strided arrays: (out, out stride, in, in stride, matrix, count) with the
// strides in floats; the exact output block, padding marked as no result.
template <Form kForm, int kIn, int kOut>
std::vector<double> TransformArray(const Values& p) {
  const auto out_stride = static_cast<std::size_t>(p[1][0]);
  const auto in_stride = static_cast<std::size_t>(p[3][0]);
  const auto count = static_cast<std::size_t>(p[5][0]);
  std::vector<double> out(count ? (count - 1) * out_stride + kOut : 1, INFINITY);
  for (std::size_t e = 0; e < count; ++e) {
    const Vector v(p[2].begin() + e * in_stride, p[2].begin() + e * in_stride + kIn);
    const std::vector<double> result = kForm == Form::kCoord    ? Coordinates(v, p[4])
                                       : kForm == Form::kNormal ? Transform(v, p[4], false, kOut)
                                                                : Transform(v, p[4], true, kOut);
    for (int i = 0; i < kOut; ++i) out[e * out_stride + i] = result[i];
  }
  return out;
}

struct Formula {
  Slot slot;
  Exact exact;
};

const Formula kFormulas[] = {
    {Slot::KMVec2Transform, [](const Values& p) { return Transform(p[1], p[2], true, 4); }},
    {Slot::KMVec3Transform, [](const Values& p) { return Transform(p[1], p[2], true, 4); }},
    {Slot::KMVec4Transform, [](const Values& p) { return Transform(p[1], p[2], true, 4); }},
    {Slot::KMMatrixMultiply, [](const Values& p) { return Product(p[1], p[2], false); }},
    {Slot::KMMatrixMultiplyTranspose, [](const Values& p) { return Product(p[1], p[2], true); }},
    {Slot::KMVec2TransformNormal, [](const Values& p) { return Transform(p[1], p[2], false, 2); }},
    {Slot::KMVec3TransformNormal, [](const Values& p) { return Transform(p[1], p[2], false, 3); }},
    {Slot::KMVec3Normalize, [](const Values& p) { return Normalized(p[1], 3); }},
    {Slot::KMVec4Normalize, [](const Values& p) { return Normalized(p[1], 4); }},
    {Slot::KMVec2TransformCoord, [](const Values& p) { return Coordinates(p[1], p[2]); }},
    {Slot::KMVec3TransformCoord, [](const Values& p) { return Coordinates(p[1], p[2]); }},
    {Slot::KMPlaneNormalize, [](const Values& p) { return Normalized(p[1], 3); }},
    {Slot::KMPlaneTransform, [](const Values& p) { return Transform(p[1], p[2], false, 4); }},
    {Slot::KMMatrixTranspose,
     [](const Values& p) {
       std::vector<double> out(16);
       for (int r = 0; r < 4; ++r) {
         for (int c = 0; c < 4; ++c) out[r * 4 + c] = p[1][c * 4 + r];
       }
       return out;
     }},
    {Slot::KMVec2Normalize, [](const Values& p) { return Normalized(p[1], 2); }},
    {Slot::KMMatrixDeterminant, &Determinant},
    {Slot::KMPlaneFromPointNormal,
     [](const Values& p) {
       const Vector &point = p[1], &n = p[2];
       const long double d = static_cast<long double>(point[0]) * n[0] +
                             static_cast<long double>(point[1]) * n[1] +
                             static_cast<long double>(point[2]) * n[2];
       return std::vector<double>{n[0], n[1], n[2], static_cast<double>(-d)};
     }},
    {Slot::KMPlaneFromPoints, &PlaneFromPoints},
    {Slot::KMVec4Cross, &Cross4},
    {Slot::KMVec2Hermite, &Hermite},
    {Slot::KMVec3Hermite, &Hermite},
    {Slot::KMVec4Hermite, &Hermite},
    {Slot::KMVec2CatmullRom, &CatmullRom},
    {Slot::KMVec3CatmullRom, &CatmullRom},
    {Slot::KMVec4CatmullRom, &CatmullRom},
    {Slot::KMVec2BaryCentric, &BaryCentric},
    {Slot::KMVec3BaryCentric, &BaryCentric},
    {Slot::KMVec4BaryCentric, &BaryCentric},
    {Slot::KMMatrixTranslation,
     [](const Values& p) {
       std::vector<double> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
       m[12] = p[1][0], m[13] = p[2][0], m[14] = p[3][0];
       return m;
     }},
    {Slot::KMMatrixScaling,
     [](const Values& p) {
       std::vector<double> m(16, 0.0);
       m[0] = p[1][0], m[5] = p[2][0], m[10] = p[3][0], m[15] = 1;
       return m;
     }},
    {Slot::KMVec2TransformArray, &TransformArray<Form::kPoint, 2, 4>},
    {Slot::KMVec2TransformCoordArray, &TransformArray<Form::kCoord, 2, 2>},
    {Slot::KMVec2TransformNormalArray, &TransformArray<Form::kNormal, 2, 2>},
    {Slot::KMVec3TransformArray, &TransformArray<Form::kPoint, 3, 4>},
    {Slot::KMVec3TransformCoordArray, &TransformArray<Form::kCoord, 3, 3>},
    {Slot::KMVec3TransformNormalArray, &TransformArray<Form::kNormal, 3, 3>},
    {Slot::KMVec4TransformArray, &TransformArray<Form::kPoint, 4, 4>},
    {Slot::KMPlaneTransformArray, &TransformArray<Form::kPoint, 4, 4>},
};

// What a reader needs to make sense of a large figure.
struct Note {
  Slot slot;
  const char* text;
};

const Note kNotes[] = {
    {Slot::KMVec3Normalize,
     "the x87-tuned normalise (installed under every SIMD family that does not replace it) "
     "multiplies by 1/sqrt read from a 512-segment table, up to 1.5e-6 relative: about 25 ulp."},
    {Slot::KMQuaternionRotationAxis,
     "normalises the axis through `KMVec3Normalize`, so it carries the tuned normalise's table "
     "error wherever that is installed."},
    {Slot::KMMatrixRotationAxis,
     "normalises the axis through `KMVec3Normalize`; elements formed by cancellation turn the "
     "table's 1.5e-6 relative error into many ulps of a small element."},
    {Slot::KMPlaneFromPoints,
     "d = -(n . V1) cancels terms as large as V1: for a plane that passes near the origin one "
     "ulp of the stored normal moves d by many of its own ulps, in every family. The normal "
     "goes through `KMVec3Normalize` and carries the tuned normalise's table error."},
    {Slot::KMVec2TransformCoord, "two roundings: the product, then the division by w."},
    {Slot::KMVec3TransformCoord, "two roundings: the product, then the division by w."},
};

Exact FormulaOf(unsigned slot) {
  for (const Formula& formula : kFormulas) {
    if (static_cast<unsigned>(formula.slot) == slot) return formula.exact;
  }
  return nullptr;
}

// ---- Measuring -----------------------------------------------------------------

// Error of `got` in units in the last place of the exact value, the unit
// floored at 1/256 of the record's largest component so that a component
// formed by cancellation is judged on the record's scale.
double WorstError(const std::vector<double>& exact, const std::vector<float>& got) {
  double scale = 0;
  for (double e : exact) {
    if (std::isfinite(e)) scale = std::max(scale, std::fabs(e));
  }
  double worst = 0;
  for (std::size_t i = 0; i < exact.size() && i < got.size(); ++i) {
    if (!std::isfinite(exact[i])) continue;
    if (!std::isfinite(got[i])) return INFINITY;
    const float unit_of = static_cast<float>(std::max(std::fabs(exact[i]), scale / 256));
    const double ulp = static_cast<double>(std::nextafter(unit_of, INFINITY)) - unit_of;
    if (ulp > 0) worst = std::max(worst, std::fabs(got[i] - exact[i]) / ulp);
  }
  return worst;
}

double Measure(unsigned slot, const kubik::OperationTable& table) {
  const SlotCases& cases = kubik::conformance::CasesOf(slot);
  const Exact exact = FormulaOf(slot);
  std::mt19937 random(slot + 1);
  double worst = 0;
  for (int n = 0; n < kCasesPerSlot; ++n) {
    const Case c = cases.RandomCase(random);
    const Outcome got = cases.Run(table, c);
    std::vector<double> want;
    if (exact) {
      want = exact(c.values);
    } else {
      const Outcome reference = cases.Run(kubik::ReferenceTable(), c);
      want.assign(reference.outputs.begin(), reference.outputs.end());
      // Output padding the reference leaves unwritten is not a result.
      for (double& w : want) {
        if (std::isnan(w)) w = INFINITY;
      }
    }
    worst = std::max(worst, WorstError(want, got.outputs));
  }
  return worst;
}

std::string Format(double ulps) {
  if (!std::isfinite(ulps)) return "not finite";
  char text[32];
  std::snprintf(text, sizeof text, ulps < 10 ? "%.2f" : "%.0f", ulps);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "docs/accuracy.md";
  std::vector<const kubik::ImplementationFamily*> families;
  std::vector<std::string> absent;
  for (const kubik::ImplementationFamily& family : kubik::ImplementationFamilies()) {
    if (family.can_run(kubik::RealProcessor())) {
      families.push_back(&family);
    } else {
      absent.push_back(family.name);
    }
  }

  std::ostringstream doc;
  doc << "# Accuracy of the implementation families\n\n"
      << "Largest error seen, in units in the last place (ulp), of every dispatched operation "
         "in every implementation family that runs on the machine that made this table. Each "
         "operation ran on "
      << kCasesPerSlot
      << " random argument sets (every input component uniform in [-M, M], M chosen per "
         "argument among 1e-4, 1e-2, 1, 1e2 and 1e4; arrays of 1 to 9 elements with padding "
         "between them). The error of a component is measured against the reference formula "
         "evaluated in extended precision, in ulps of the exact value; the unit is floored at "
         "1/256 of the record's largest component, so that a component formed by cancellation "
         "is judged on the record's scale. Operations marked * are measured against the "
         "reference implementation's own float result instead (no separate formula here), so "
         "the reference column reads 0 for them and the other columns may be up to 0.5 ulp off."
         "\n\n"
      << "Regenerate with `cmake --build --preset release --target kubik_accuracy && "
         "./build/release/bin/kubik_accuracy docs/accuracy.md`.\n\n";
  if (!absent.empty()) {
    doc << "Families that cannot run on that machine and are not listed:";
    for (const std::string& name : absent) doc << " " << name;
    doc << ".\n\n";
  }
  doc << "| Slot | Operation |";
  for (const auto* family : families) doc << " " << family->name << " |";
  doc << "\n|---|---|";
  for (std::size_t i = 0; i < families.size(); ++i) doc << "---|";
  doc << "\n";

  std::vector<kubik::OperationTable> tables(families.size());
  for (std::size_t i = 0; i < families.size(); ++i) {
    families[i]->install(tables[i], kubik::RealProcessor());
  }
  for (unsigned slot = 0; slot < kubik::kSlotCount; ++slot) {
    doc << "| " << slot << " | `" << kubik::SlotName(slot) << "`" << (FormulaOf(slot) ? "" : " *")
        << " |";
    for (const kubik::OperationTable& table : tables)
      doc << " " << Format(Measure(slot, table)) << " |";
    doc << "\n";
    std::cerr << "." << std::flush;
  }
  std::cerr << "\n";

  doc << "\nNotes:\n\n";
  for (const Note& note : kNotes) {
    doc << "- `" << kubik::SlotName(static_cast<unsigned>(note.slot)) << "`: " << note.text << "\n";
  }

  std::ofstream out(path);
  out << doc.str();
  if (!out) {
    std::cerr << "kubik_accuracy: cannot write " << path << "\n";
    return 1;
  }
  std::cout << "wrote " << path << "\n";
  return 0;
}
