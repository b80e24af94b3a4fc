// Helpers shared by the graphics device tests: a window that keeps presented
// frames, and a small device rig that can run against either module.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gfx/gfx.h"
#include "platform/window/window_surface.h"

namespace kubik::gfx_test {

using CreateFn = GraphicsSystem* (*)(std::uint32_t);

class FakeWindow final : public Window {
 public:
  struct Frame {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  };

  void PresentFrame(const std::uint32_t* pixels, int width, int height, int pitch) override {
    Frame frame{width, height, {}};
    for (int y = 0; y < height; ++y) {
      const std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * pitch;
      frame.pixels.insert(frame.pixels.end(), row, row + width);
    }
    frames.push_back(std::move(frame));
  }

  std::vector<Frame> frames;
};

inline constexpr std::uint32_t kBlack = 0xFF000000u;
inline constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

// Presentation parameters as the viewer fills them.
inline PresentParameters ViewerParameters(Window* window, std::uint32_t width = 640,
                                          std::uint32_t height = 480) {
  PresentParameters p;
  std::memset(&p, 0, sizeof p);
  p.backBufferWidth = width;
  p.backBufferHeight = height;
  p.backBufferFormat = FORMAT_A8R8G8B8;
  p.backBufferCount = 1;
  p.multiSampleType = MULTISAMPLE_NONE;
  p.swapEffect = SWAP_EFFECT_DISCARD;
  p.deviceWindow = window;
  p.windowed = 1;
  p.enableAutoDepthStencil = 1;
  p.autoDepthStencilFormat = FORMAT_D24S8;
  p.presentationInterval = PRESENT_INTERVAL_IMMEDIATE;
  return p;
}

// A system, a device on a FakeWindow, and helpers to draw from plain arrays.
class Rig {
 public:
  Rig(CreateFn create, int width, int height, bool depth = true) {
    system = create(GRAPHICS_INTERFACE_VERSION);
    if (system == nullptr) return;
    PresentParameters p = ViewerParameters(&window, width, height);
    p.enableAutoDepthStencil = depth;
    system->CreateDevice(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, &window,
                         CREATE_SOFTWARE_VERTEXPROCESSING, &p, &device);
  }
  ~Rig() {
    if (vertices) vertices->Release();
    if (indices) indices->Release();
    if (device) device->Release();
    if (system) system->Release();
  }
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  bool ok() const { return device != nullptr; }

  // Replaces the bound buffers with copies of the arrays and binds them.
  void Load(const std::vector<float>& vertexFloats, const std::vector<std::uint16_t>& indexList,
            std::uint32_t format = VERTEX_XYZ) {
    if (vertices) vertices->Release();
    if (indices) indices->Release();
    vertices = nullptr;
    indices = nullptr;
    const auto vbytes = static_cast<std::uint32_t>(vertexFloats.size() * sizeof(float));
    const auto ibytes = static_cast<std::uint32_t>(indexList.size() * sizeof(std::uint16_t));
    ASSERT_EQ(device->CreateVertexBuffer(vbytes, USAGE_WRITEONLY, format, POOL_DEFAULT, &vertices),
              GFX_OK);
    ASSERT_EQ(
        device->CreateIndexBuffer(ibytes, USAGE_WRITEONLY, FORMAT_INDEX16, POOL_DEFAULT, &indices),
        GFX_OK);
    void* data = nullptr;
    ASSERT_EQ(vertices->Lock(0, vbytes, &data, 0), GFX_OK);
    std::memcpy(data, vertexFloats.data(), vbytes);
    ASSERT_EQ(vertices->Unlock(), GFX_OK);
    ASSERT_EQ(indices->Lock(0, ibytes, &data, 0), GFX_OK);
    std::memcpy(data, indexList.data(), ibytes);
    ASSERT_EQ(indices->Unlock(), GFX_OK);
    std::uint32_t stride = 12;
    if (format & VERTEX_NORMAL) stride += 12;
    if (format & VERTEX_DIFFUSE) stride += 4;
    ASSERT_EQ(device->SetVertexBuffer(0, vertices, 0, stride), GFX_OK);
    ASSERT_EQ(device->SetIndexBuffer(indices), GFX_OK);
    ASSERT_EQ(device->SetVertexFormat(format), GFX_OK);
  }

  // One draw of the loaded buffers inside its own frame.
  GfxResult Draw(PrimitiveType primitive, std::uint32_t count, std::uint32_t start = 0) {
    device->BeginFrame();
    const GfxResult result = device->DrawIndexed(primitive, 0, 0, 0xFFFF, start, count);
    device->EndFrame();
    return result;
  }

  void ClearAll(std::uint32_t color = kBlack, float depth = 1.0f) {
    device->Clear(0, nullptr, CLEAR_TARGET | CLEAR_ZBUFFER, color, depth, 0);
  }

  const FakeWindow::Frame& Show() {
    device->Present(nullptr, nullptr, nullptr, nullptr);
    return window.frames.back();
  }

  FakeWindow window;
  GraphicsSystem* system = nullptr;
  GraphicsDevice* device = nullptr;
  VertexBuffer* vertices = nullptr;
  IndexBuffer* indices = nullptr;
};

// A colour word stored in a float slot of a vertex array.
inline float ColorSlot(std::uint32_t argb) {
  float f;
  std::memcpy(&f, &argb, sizeof f);
  return f;
}

inline int CountPixels(const FakeWindow::Frame& frame, std::uint32_t color) {
  int n = 0;
  for (std::uint32_t p : frame.pixels) n += p == color;
  return n;
}

}  // namespace kubik::gfx_test
