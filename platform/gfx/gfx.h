// Graphics device layer: a software rasterizer behind reference-counted
// interfaces. A program obtains a GraphicsSystem from the module entry
// CreateGraphicsSystem, creates a device bound to a window, fills vertex and
// index buffers and draws indexed primitives into a 32-bit back buffer that
// Present hands to the window.
//
// Every object starts with one reference; Release drops one and destroys the
// object at zero. A device keeps a reference on the buffers bound to it, so
// buffers and device may be released in any order.
#pragma once

#include <kubik/kmath.h>

#include <cstdint>

#include "platform/window/window_surface.h"

namespace kubik {

// ---- Results ---------------------------------------------------------------

// 0 is success; every failure is a distinct negative value.
using GfxResult = std::int32_t;

inline constexpr GfxResult GFX_OK = 0;
inline constexpr GfxResult GFX_ERROR_INVALID_CALL = -1;   // bad argument or wrong call order
inline constexpr GfxResult GFX_ERROR_OUT_OF_MEMORY = -2;  // an allocation failed
inline constexpr GfxResult GFX_ERROR_NOT_AVAILABLE = -3;  // unsupported format, adapter or type

inline constexpr bool GfxSucceeded(GfxResult result) {
  return result >= 0;
}

// The interface version a program is built against; CreateGraphicsSystem
// refuses any other.
inline constexpr std::uint32_t GRAPHICS_INTERFACE_VERSION = 0x00010000u;

// ---- Enumerations ------------------------------------------------------------

inline constexpr std::uint32_t ADAPTER_DEFAULT = 0;

enum DeviceType : std::uint32_t {
  DEVICE_TYPE_HARDWARE = 1,
  DEVICE_TYPE_REFERENCE = 2,
};

enum Format : std::uint32_t {
  FORMAT_UNKNOWN = 0,
  FORMAT_A8R8G8B8 = 1,  // 32-bit colour, 0xAARRGGBB
  FORMAT_X8R8G8B8 = 2,  // 32-bit colour, alpha ignored
  FORMAT_D24S8 = 10,    // 24-bit depth, 8-bit stencil
  FORMAT_D32F = 11,     // 32-bit float depth
  FORMAT_INDEX16 = 20,  // unsigned 16-bit indices
  FORMAT_INDEX32 = 21,  // unsigned 32-bit indices
};

enum MultisampleType : std::uint32_t {
  MULTISAMPLE_NONE = 0,
};

enum SwapEffect : std::uint32_t {
  SWAP_EFFECT_DISCARD = 1,  // back buffer contents are undefined after Present
  SWAP_EFFECT_COPY = 2,
};

enum Pool : std::uint32_t {
  POOL_DEFAULT = 0,
  POOL_SYSTEM_MEMORY = 1,
};

enum RenderState : std::uint32_t {
  RS_LIGHTING = 1,      // value: 0 or 1 (default 1; no lights exist, so it changes nothing)
  RS_FILLMODE = 2,      // value: FILL_*
  RS_CULLMODE = 3,      // value: CULL_*
  RS_ZENABLE = 4,       // value: 0 or 1 (default 1 when the device has a depth buffer)
  RS_ZWRITEENABLE = 5,  // value: 0 or 1 (default 1)
};

inline constexpr std::uint32_t FILL_WIREFRAME = 2;
inline constexpr std::uint32_t FILL_SOLID = 3;  // default

// Which on-screen winding is discarded.
inline constexpr std::uint32_t CULL_NONE = 1;
inline constexpr std::uint32_t CULL_CW = 2;
inline constexpr std::uint32_t CULL_CCW = 3;  // default

enum TransformType : std::uint32_t {
  TRANSFORM_WORLD = 1,
  TRANSFORM_VIEW = 2,
  TRANSFORM_PROJECTION = 3,
};

enum PrimitiveType : std::uint32_t {
  PRIMITIVE_LINE_LIST = 2,
  PRIMITIVE_LINE_STRIP = 3,
  PRIMITIVE_TRIANGLE_LIST = 4,
  PRIMITIVE_TRIANGLE_STRIP = 5,
  PRIMITIVE_TRIANGLE_FAN = 6,
};

// Vertex format bits. Components lie in this order: position (3 floats),
// normal (3 floats), colour (one 0xAARRGGBB word). A vertex without colour
// is drawn opaque white.
inline constexpr std::uint32_t VERTEX_XYZ = 1u << 0;
inline constexpr std::uint32_t VERTEX_NORMAL = 1u << 1;
inline constexpr std::uint32_t VERTEX_DIFFUSE = 1u << 2;

// Clear flags.
inline constexpr std::uint32_t CLEAR_TARGET = 1u << 0;
inline constexpr std::uint32_t CLEAR_ZBUFFER = 1u << 1;
inline constexpr std::uint32_t CLEAR_STENCIL = 1u << 2;

// Buffer usage flags.
inline constexpr std::uint32_t USAGE_WRITEONLY = 1u << 3;

// Lock flags (accepted; the memory is always the buffer itself).
inline constexpr std::uint32_t LOCK_READONLY = 1u << 4;
inline constexpr std::uint32_t LOCK_DISCARD = 1u << 13;

// Device behaviour flags: exactly one vertex-processing flag is required.
inline constexpr std::uint32_t CREATE_SOFTWARE_VERTEXPROCESSING = 1u << 5;
inline constexpr std::uint32_t CREATE_HARDWARE_VERTEXPROCESSING = 1u << 6;

// Presentation intervals.
inline constexpr std::uint32_t PRESENT_INTERVAL_DEFAULT = 0;
inline constexpr std::uint32_t PRESENT_INTERVAL_ONE = 1;
inline constexpr std::uint32_t PRESENT_INTERVAL_IMMEDIATE = 0x80000000u;

// Capability bits of DeviceCapabilities::deviceCaps.
inline constexpr std::uint32_t DEVCAPS_HW_TRANSFORM_AND_LIGHT = 1u << 0;

// ---- Records -------------------------------------------------------------------

// A pixel rectangle, right and bottom exclusive.
struct GfxRect {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};

// Plain data: a caller may zero it with memset and fill the fields it needs.
struct PresentParameters {
  std::uint32_t backBufferWidth;   // 0: the default 640
  std::uint32_t backBufferHeight;  // 0: the default 480
  Format backBufferFormat;         // FORMAT_A8R8G8B8, FORMAT_X8R8G8B8 or FORMAT_UNKNOWN
  std::uint32_t backBufferCount;   // 0 or 1
  MultisampleType multiSampleType;
  std::uint32_t multiSampleQuality;
  SwapEffect swapEffect;
  WindowHandle deviceWindow;  // null: the focus window given to CreateDevice
  std::int32_t windowed;
  std::int32_t enableAutoDepthStencil;
  Format autoDepthStencilFormat;  // FORMAT_D24S8 or FORMAT_D32F
  std::uint32_t flags;
  std::uint32_t fullScreenRefreshRate;
  std::uint32_t presentationInterval;
};

struct DeviceCapabilities {
  DeviceType deviceType;
  std::uint32_t adapterOrdinal;
  std::uint32_t deviceCaps;  // DEVCAPS_*
  std::uint32_t maxPrimitiveCount;
  std::uint32_t maxVertexIndex;
  std::uint32_t maxStreams;
  std::uint32_t maxTextureWidth;
  std::uint32_t maxTextureHeight;
};

// ---- Interfaces ----------------------------------------------------------------

class GraphicsDevice;

class VertexBuffer {
 public:
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;  // returns the references left
  // Maps [offset, offset + size) for the caller; size 0 maps up to the end.
  // Fails for a range outside the buffer or a buffer already locked.
  virtual GfxResult Lock(std::uint32_t offset, std::uint32_t size, void** data,
                         std::uint32_t flags) = 0;
  virtual GfxResult Unlock() = 0;

 protected:
  virtual ~VertexBuffer() = default;
};

class IndexBuffer {
 public:
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;
  virtual GfxResult Lock(std::uint32_t offset, std::uint32_t size, void** data,
                         std::uint32_t flags) = 0;
  virtual GfxResult Unlock() = 0;

 protected:
  virtual ~IndexBuffer() = default;
};

class GraphicsDevice {
 public:
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

  virtual GfxResult SetRenderState(RenderState state, std::uint32_t value) = 0;
  virtual GfxResult GetRenderState(RenderState state, std::uint32_t* value) = 0;
  virtual GfxResult SetTransform(TransformType which, const KMMATRIX* matrix) = 0;
  virtual GfxResult GetTransform(TransformType which, KMMATRIX* matrix) = 0;

  virtual GfxResult CreateVertexBuffer(std::uint32_t length, std::uint32_t usage,
                                       std::uint32_t vertexFormat, Pool pool,
                                       VertexBuffer** buffer) = 0;
  virtual GfxResult CreateIndexBuffer(std::uint32_t length, std::uint32_t usage, Format format,
                                      Pool pool, IndexBuffer** buffer) = 0;

  // rects: count rectangles to clear, or null (count 0) for the whole target.
  // flags: CLEAR_*; colour is 0xAARRGGBB.
  virtual GfxResult Clear(std::uint32_t count, const GfxRect* rects, std::uint32_t flags,
                          std::uint32_t color, float depth, std::uint32_t stencil) = 0;

  virtual GfxResult BeginFrame() = 0;
  virtual GfxResult EndFrame() = 0;

  // Only stream 0 exists. stride is the distance between vertices in bytes.
  virtual GfxResult SetVertexBuffer(std::uint32_t stream, VertexBuffer* buffer,
                                    std::uint32_t offsetInBytes, std::uint32_t stride) = 0;
  virtual GfxResult SetIndexBuffer(IndexBuffer* buffer) = 0;
  virtual GfxResult SetVertexFormat(std::uint32_t vertexFormat) = 0;

  // Vertex i of the draw is read at baseVertex + index[startIndex + i];
  // minIndex and vertexCount describe the range the indices are expected in.
  virtual GfxResult DrawIndexed(PrimitiveType primitive, std::int32_t baseVertex,
                                std::uint32_t minIndex, std::uint32_t vertexCount,
                                std::uint32_t startIndex, std::uint32_t primitiveCount) = 0;

  // Shows the back buffer in the window (or windowOverride when not null).
  // sourceRect and destRect are accepted but the whole buffer is always shown;
  // dirtyRegion is ignored.
  virtual GfxResult Present(const GfxRect* sourceRect, const GfxRect* destRect,
                            WindowHandle windowOverride, const void* dirtyRegion) = 0;

 protected:
  virtual ~GraphicsDevice() = default;
};

class GraphicsSystem {
 public:
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

  virtual GfxResult GetCapabilities(std::uint32_t adapter, DeviceType type,
                                    DeviceCapabilities* caps) = 0;
  // parameters: read, and its defaulted fields (zero sizes, unknown format)
  // are written back with the values chosen.
  virtual GfxResult CreateDevice(std::uint32_t adapter, DeviceType type, WindowHandle focusWindow,
                                 std::uint32_t behaviorFlags, PresentParameters* parameters,
                                 GraphicsDevice** device) = 0;

 protected:
  virtual ~GraphicsSystem() = default;
};

}  // namespace kubik

// ---- Module entries -------------------------------------------------------------

// The module hides every other symbol, so that the release and the validating
// build can be loaded into one process side by side.
#define KGFX_EXPORT __attribute__((visibility("default")))

extern "C" {

// Null when version is not GRAPHICS_INTERFACE_VERSION.
KGFX_EXPORT kubik::GraphicsSystem* CreateGraphicsSystem(std::uint32_t version);

// Nonzero silences this module's call-validation messages; 0 restores them.
KGFX_EXPORT void SetDebugMute(std::int32_t mute);

}  // extern "C"
