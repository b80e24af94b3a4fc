// The software rasterizer: a colour and a depth buffer in memory, with
// clipping in homogeneous space, culling, a depth test and line and
// triangle scan conversion. Every pixel write is bounds-checked, so no input
// (huge, infinite or NaN coordinates included) reaches outside the buffers.
#pragma once

#include <cstdint>
#include <vector>

namespace kubik::gfx {

// A vertex after the world-view-projection transform, with its colour in 0..1.
// Positions are doubles so that clipping far-away geometry to the screen
// keeps sub-pixel accuracy.
struct ClipVertex {
  double x, y, z, w;
  float r, g, b, a;
};

struct RasterState {
  bool wireframe = false;
  std::uint32_t cullMode = 0;  // CULL_* of gfx.h
  bool depthTest = true;
  bool depthWrite = true;
};

class RenderTarget {
 public:
  // hasDepth: allocate a depth buffer (cleared to 1).
  RenderTarget(int width, int height, bool hasDepth);

  int width() const { return width_; }
  int height() const { return height_; }
  bool hasDepth() const { return !depth_.empty(); }
  const std::uint32_t* pixels() const { return color_.data(); }
  const float* depth() const { return depth_.data(); }

  // Fills the part of [left, right) x [top, bottom) inside the target.
  void ClearColor(int left, int top, int right, int bottom, std::uint32_t color);
  void ClearDepth(int left, int top, int right, int bottom, float depth);

  // Culls (flipWinding reverses the on-screen winding first, for every
  // second triangle of a strip), clips and draws one triangle.
  void DrawTriangle(const RasterState& state, const ClipVertex& v0, const ClipVertex& v1,
                    const ClipVertex& v2, bool flipWinding);
  // Clips and draws a one-pixel line.
  void DrawLine(const RasterState& state, const ClipVertex& a, const ClipVertex& b);

 private:
  struct ScreenVertex {
    double x, y;  // pixels, (0, 0) the top-left corner of the target
    float z;      // 0..1
    float r, g, b, a;
  };

  ScreenVertex ToScreen(const ClipVertex& v) const;
  void DrawScreenLine(const RasterState& state, const ScreenVertex& a, const ScreenVertex& b);
  void FillScreenTriangle(const RasterState& state, const ScreenVertex& v0, const ScreenVertex& v1,
                          const ScreenVertex& v2);
  // Depth-tests and writes one pixel; (x, y) must be inside the target.
  void Plot(const RasterState& state, int x, int y, float z, std::uint32_t color);

  int width_;
  int height_;
  std::vector<std::uint32_t> color_;
  std::vector<float> depth_;
};

// 0xAARRGGBB from components in 0..1 (clamped).
std::uint32_t PackColor(float r, float g, float b, float a);

}  // namespace kubik::gfx
