#include "platform/gfx/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/gfx/gfx.h"

namespace kubik::gfx {
namespace {

// Sub-pixel precision of triangle edges: 1/16 pixel, exact integer edge tests.
constexpr double kSubpixels = 16.0;

// Signed distances to the six planes of the view volume; inside is >= 0.
constexpr int kPlaneCount = 6;
double PlaneDistance(const ClipVertex& v, int plane) {
  switch (plane) {
    case 0:
      return v.w + v.x;
    case 1:
      return v.w - v.x;
    case 2:
      return v.w + v.y;
    case 3:
      return v.w - v.y;
    case 4:
      return v.z;
    default:
      return v.w - v.z;
  }
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, double t) {
  auto mix = [t](double p, double q) { return p + (q - p) * t; };
  auto mixf = [t](float p, float q) { return static_cast<float>(p + (q - p) * t); };
  return {mix(a.x, b.x),  mix(a.y, b.y),  mix(a.z, b.z),  mix(a.w, b.w),
          mixf(a.r, b.r), mixf(a.g, b.g), mixf(a.b, b.b), mixf(a.a, b.a)};
}

// The point where edge a-b crosses a plane, always computed from the inside
// end, so that two triangles sharing the edge get the very same point.
ClipVertex Crossing(const ClipVertex& a, const ClipVertex& b, double da, double db) {
  if (da >= 0.0) return Lerp(a, b, da / (da - db));
  return Lerp(b, a, db / (db - da));
}

// A convex polygon clipped against one plane after another grows by at most
// one vertex per plane.
constexpr int kMaxPolygon = 3 + kPlaneCount;

int ClipPolygon(ClipVertex (&poly)[kMaxPolygon], int count) {
  ClipVertex out[kMaxPolygon];
  for (int plane = 0; plane < kPlaneCount && count > 0; ++plane) {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
      const ClipVertex& a = poly[i];
      const ClipVertex& b = poly[(i + 1) % count];
      const double da = PlaneDistance(a, plane);
      const double db = PlaneDistance(b, plane);
      const bool aInside = da >= 0.0;
      const bool bInside = db >= 0.0;
      // NaN distances count as outside, so they never produce vertices.
      if (aInside && kept < kMaxPolygon) out[kept++] = a;
      if (aInside != bInside && !std::isnan(da) && !std::isnan(db) && kept < kMaxPolygon) {
        out[kept++] = Crossing(a, b, da, db);
      }
    }
    count = kept;
    std::copy(out, out + count, poly);
  }
  return count;
}

bool Finite(double v) {
  return std::isfinite(v);
}

}  // namespace

std::uint32_t PackColor(float r, float g, float b, float a) {
  auto channel = [](float v) -> std::uint32_t {
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 1.0f) return 255;
    return static_cast<std::uint32_t>(v * 255.0f + 0.5f);
  };
  return channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
}

RenderTarget::RenderTarget(int width, int height, bool hasDepth)
    : width_(width), height_(height), color_(static_cast<std::size_t>(width) * height, 0u) {
  if (hasDepth) depth_.assign(color_.size(), 1.0f);
}

void RenderTarget::ClearColor(int left, int top, int right, int bottom, std::uint32_t color) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  for (int y = top; y < bottom; ++y) {
    std::fill_n(color_.begin() + static_cast<std::ptrdiff_t>(y) * width_ + left,
                std::max(right - left, 0), color);
  }
}

void RenderTarget::ClearDepth(int left, int top, int right, int bottom, float depth) {
  if (depth_.empty()) return;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  for (int y = top; y < bottom; ++y) {
    std::fill_n(depth_.begin() + static_cast<std::ptrdiff_t>(y) * width_ + left,
                std::max(right - left, 0), depth);
  }
}

RenderTarget::ScreenVertex RenderTarget::ToScreen(const ClipVertex& v) const {
  const double invW = 1.0 / v.w;
  const double ndcX = v.x * invW;
  const double ndcY = v.y * invW;
  const double z = std::clamp(v.z * invW, 0.0, 1.0);
  return {(ndcX + 1.0) * 0.5 * width_,
          (1.0 - ndcY) * 0.5 * height_,
          static_cast<float>(z),
          v.r,
          v.g,
          v.b,
          v.a};
}

void RenderTarget::Plot(const RasterState& state, int x, int y, float z, std::uint32_t color) {
  const std::size_t at = static_cast<std::size_t>(y) * width_ + x;
  if (!depth_.empty()) {
    if (state.depthTest && !(z <= depth_[at])) return;
    if (state.depthWrite) depth_[at] = z;
  }
  color_[at] = color;
}

void RenderTarget::DrawTriangle(const RasterState& state, const ClipVertex& v0,
                                const ClipVertex& v1, const ClipVertex& v2, bool flipWinding) {
  ClipVertex poly[kMaxPolygon] = {v0, v1, v2};
  const int count = ClipPolygon(poly, 3);
  if (count < 3) return;

  ScreenVertex screen[kMaxPolygon];
  for (int i = 0; i < count; ++i) {
    if (!(poly[i].w > 0.0)) return;
    screen[i] = ToScreen(poly[i]);
    if (!Finite(screen[i].x) || !Finite(screen[i].y)) return;
  }

  // The visible part keeps the winding of the whole triangle. With y down,
  // a positive area is clockwise as seen on the screen.
  double area = 0.0;
  for (int i = 0; i < count; ++i) {
    const ScreenVertex& a = screen[i];
    const ScreenVertex& b = screen[(i + 1) % count];
    area += a.x * b.y - b.x * a.y;
  }
  if (flipWinding) area = -area;
  if (state.cullMode != CULL_NONE) {
    // A triangle seen edge-on faces neither way and is dropped.
    if (area == 0.0) return;
    if (state.cullMode == CULL_CCW && area < 0.0) return;
    if (state.cullMode == CULL_CW && area > 0.0) return;
  }

  if (state.wireframe) {
    // The triangle's own edges; clip-plane edges of the visible part are not drawn.
    DrawLine(state, v0, v1);
    DrawLine(state, v1, v2);
    DrawLine(state, v2, v0);
    return;
  }
  for (int i = 1; i + 1 < count; ++i)
    FillScreenTriangle(state, screen[0], screen[i], screen[i + 1]);
}

void RenderTarget::FillScreenTriangle(const RasterState& state, const ScreenVertex& s0,
                                      const ScreenVertex& s1, const ScreenVertex& s2) {
  struct Fixed {
    std::int64_t x, y;
  };
  auto toFixed = [](const ScreenVertex& s) {
    return Fixed{std::llround(s.x * kSubpixels), std::llround(s.y * kSubpixels)};
  };
  const ScreenVertex* v[3] = {&s0, &s1, &s2};
  Fixed p[3] = {toFixed(s0), toFixed(s1), toFixed(s2)};
  auto edge = [](const Fixed& a, const Fixed& b, std::int64_t x, std::int64_t y) {
    return (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
  };
  std::int64_t area = edge(p[0], p[1], p[2].x, p[2].y);
  if (area == 0) return;
  if (area < 0) {
    std::swap(p[1], p[2]);
    std::swap(v[1], v[2]);
    area = -area;
  }
  // Top-left rule: a pixel centre exactly on an edge belongs to the triangle
  // only for a top edge (horizontal, running right) or a left edge (running
  // up), so triangles sharing an edge never both cover a pixel.
  auto bias = [](const Fixed& a, const Fixed& b) -> std::int64_t {
    const std::int64_t dx = b.x - a.x;
    const std::int64_t dy = b.y - a.y;
    return (dy < 0 || (dy == 0 && dx > 0)) ? 0 : -1;
  };
  const std::int64_t bias0 = bias(p[1], p[2]);
  const std::int64_t bias1 = bias(p[2], p[0]);
  const std::int64_t bias2 = bias(p[0], p[1]);

  const std::int64_t sub = static_cast<std::int64_t>(kSubpixels);
  const std::int64_t minX = std::min({p[0].x, p[1].x, p[2].x});
  const std::int64_t maxX = std::max({p[0].x, p[1].x, p[2].x});
  const std::int64_t minY = std::min({p[0].y, p[1].y, p[2].y});
  const std::int64_t maxY = std::max({p[0].y, p[1].y, p[2].y});
  const int x0 = static_cast<int>(std::max<std::int64_t>(0, minX / sub - 1));
  const int x1 = static_cast<int>(std::min<std::int64_t>(width_ - 1, maxX / sub + 1));
  const int y0 = static_cast<int>(std::max<std::int64_t>(0, minY / sub - 1));
  const int y1 = static_cast<int>(std::min<std::int64_t>(height_ - 1, maxY / sub + 1));

  const double invArea = 1.0 / static_cast<double>(area);
  for (int y = y0; y <= y1; ++y) {
    const std::int64_t py = y * sub + sub / 2;
    for (int x = x0; x <= x1; ++x) {
      const std::int64_t px = x * sub + sub / 2;
      const std::int64_t w0 = edge(p[1], p[2], px, py);
      const std::int64_t w1 = edge(p[2], p[0], px, py);
      const std::int64_t w2 = edge(p[0], p[1], px, py);
      if (w0 + bias0 < 0 || w1 + bias1 < 0 || w2 + bias2 < 0) continue;
      const double l0 = static_cast<double>(w0) * invArea;
      const double l1 = static_cast<double>(w1) * invArea;
      const double l2 = static_cast<double>(w2) * invArea;
      auto mix = [&](float ScreenVertex::*field) {
        return static_cast<float>(l0 * v[0]->*field + l1 * v[1]->*field + l2 * v[2]->*field);
      };
      Plot(state, x, y, std::clamp(mix(&ScreenVertex::z), 0.0f, 1.0f),
           PackColor(mix(&ScreenVertex::r), mix(&ScreenVertex::g), mix(&ScreenVertex::b),
                     mix(&ScreenVertex::a)));
    }
  }
}

void RenderTarget::DrawLine(const RasterState& state, const ClipVertex& a, const ClipVertex& b) {
  // Parametric clipping against the six planes.
  double t0 = 0.0;
  double t1 = 1.0;
  for (int plane = 0; plane < kPlaneCount; ++plane) {
    const double da = PlaneDistance(a, plane);
    const double db = PlaneDistance(b, plane);
    if (std::isnan(da) || std::isnan(db)) return;
    if (da < 0.0 && db < 0.0) return;
    if (da < 0.0) t0 = std::max(t0, da / (da - db));
    if (db < 0.0) t1 = std::min(t1, da / (da - db));
    if (t0 > t1) return;
  }
  // Interpolate from the nearer end so an unclipped end stays exact.
  const ClipVertex ca = t0 > 0.0 ? Lerp(a, b, t0) : a;
  const ClipVertex cb = t1 < 1.0 ? Lerp(b, a, 1.0 - t1) : b;
  if (!(ca.w > 0.0) || !(cb.w > 0.0)) return;
  const ScreenVertex sa = ToScreen(ca);
  const ScreenVertex sb = ToScreen(cb);
  if (!Finite(sa.x) || !Finite(sa.y) || !Finite(sb.x) || !Finite(sb.y)) return;
  DrawScreenLine(state, sa, sb);
}

void RenderTarget::DrawScreenLine(const RasterState& state, const ScreenVertex& a,
                                  const ScreenVertex& b) {
  // One pixel per column (or row, for steep lines): the pixels whose centres
  // along the major axis lie in [start, end), the same whichever way the line
  // runs.
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const bool xMajor = std::fabs(dx) >= std::fabs(dy);
  const double major0 = xMajor ? a.x : a.y;
  const double major1 = xMajor ? b.x : b.y;
  const double minor0 = xMajor ? a.y : a.x;
  const double dMajor = major1 - major0;
  const double dMinor = xMajor ? dy : dx;
  if (dMajor == 0.0) return;
  const int majorLimit = xMajor ? width_ : height_;
  const int minorLimit = xMajor ? height_ : width_;

  const double lo = std::min(major0, major1);
  const double hi = std::max(major0, major1);
  const double first = std::max(std::ceil(lo - 0.5), 0.0);
  const double last = std::min(std::ceil(hi - 0.5) - 1.0, static_cast<double>(majorLimit - 1));
  for (double i = first; i <= last; i += 1.0) {
    const double t = (i + 0.5 - major0) / dMajor;
    const double minor = std::floor(minor0 + t * dMinor);
    if (!(minor >= 0.0 && minor < minorLimit)) continue;
    auto mix = [t](float p, float q) { return static_cast<float>(p + (q - p) * t); };
    const int m = static_cast<int>(i);
    const int n = static_cast<int>(minor);
    Plot(state, xMajor ? m : n, xMajor ? n : m, std::clamp(mix(a.z, b.z), 0.0f, 1.0f),
         PackColor(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)));
  }
}

}  // namespace kubik::gfx
