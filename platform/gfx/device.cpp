// The graphics system object, the device and the module entry.
#include <cstring>
#include <new>

#include "platform/gfx/buffers.h"
#include "platform/gfx/gfx.h"
#include "platform/gfx/rasterizer.h"
#include "platform/gfx/validation.h"

namespace kubik::gfx {
namespace {

constexpr std::uint32_t kDefaultWidth = 640;
constexpr std::uint32_t kDefaultHeight = 480;
// Keeps back buffers (and the sub-pixel edge arithmetic) within sane sizes.
constexpr std::uint32_t kMaxDimension = 8192;

KMMATRIX Identity() {
  return KMMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
}

// Bytes of one vertex of the format: position, normal, colour, in that order.
std::uint32_t VertexSize(std::uint32_t format) {
  std::uint32_t size = 0;
  if (format & VERTEX_XYZ) size += 12;
  if (format & VERTEX_NORMAL) size += 12;
  if (format & VERTEX_DIFFUSE) size += 4;
  return size;
}

// Indices a draw of count primitives reads; 0 for an unknown primitive type.
std::uint64_t IndexCountOf(PrimitiveType primitive, std::uint64_t count) {
  switch (primitive) {
    case PRIMITIVE_LINE_LIST:
      return 2 * count;
    case PRIMITIVE_LINE_STRIP:
      return count + 1;
    case PRIMITIVE_TRIANGLE_LIST:
      return 3 * count;
    case PRIMITIVE_TRIANGLE_STRIP:
    case PRIMITIVE_TRIANGLE_FAN:
      return count + 2;
  }
  return 0;
}

class Device final : public GraphicsDevice {
 public:
  Device(WindowHandle window, int width, int height, bool hasDepth)
      : target_(width, height, hasDepth), window_(window), zEnable_(hasDepth) {}

  std::uint32_t AddRef() override { return ++references_; }
  std::uint32_t Release() override {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

  GfxResult SetRenderState(RenderState state, std::uint32_t value) override;
  GfxResult GetRenderState(RenderState state, std::uint32_t* value) override;
  GfxResult SetTransform(TransformType which, const KMMATRIX* matrix) override;
  GfxResult GetTransform(TransformType which, KMMATRIX* matrix) override;
  GfxResult CreateVertexBuffer(std::uint32_t length, std::uint32_t usage,
                               std::uint32_t vertexFormat, Pool pool,
                               VertexBuffer** buffer) override;
  GfxResult CreateIndexBuffer(std::uint32_t length, std::uint32_t usage, Format format, Pool pool,
                              IndexBuffer** buffer) override;
  GfxResult Clear(std::uint32_t count, const GfxRect* rects, std::uint32_t flags,
                  std::uint32_t color, float depth, std::uint32_t stencil) override;
  GfxResult BeginFrame() override;
  GfxResult EndFrame() override;
  GfxResult SetVertexBuffer(std::uint32_t stream, VertexBuffer* buffer, std::uint32_t offsetInBytes,
                            std::uint32_t stride) override;
  GfxResult SetIndexBuffer(IndexBuffer* buffer) override;
  GfxResult SetVertexFormat(std::uint32_t vertexFormat) override;
  GfxResult DrawIndexed(PrimitiveType primitive, std::int32_t baseVertex, std::uint32_t minIndex,
                        std::uint32_t vertexCount, std::uint32_t startIndex,
                        std::uint32_t primitiveCount) override;
  GfxResult Present(const GfxRect* sourceRect, const GfxRect* destRect, WindowHandle windowOverride,
                    const void* dirtyRegion) override;

 private:
  ~Device() override {
    if (vertexBuffer_ != nullptr) vertexBuffer_->Release();
    if (indexBuffer_ != nullptr) indexBuffer_->Release();
  }

  KMMATRIX* TransformSlot(TransformType which);
  // Reads vertex `vertex` of the bound stream (already range-checked) and
  // takes it to clip space.
  ClipVertex FetchVertex(std::uint64_t vertex);

  std::uint32_t references_ = 1;
  RenderTarget target_;
  WindowHandle window_;
  bool inFrame_ = false;

  bool lighting_ = true;
  std::uint32_t fillMode_ = FILL_SOLID;
  std::uint32_t cullMode_ = CULL_CCW;
  bool zEnable_;
  bool zWrite_ = true;

  KMMATRIX world_ = Identity();
  KMMATRIX view_ = Identity();
  KMMATRIX projection_ = Identity();
  KMMATRIX combined_ = Identity();
  bool combinedStale_ = false;

  VertexBufferImpl* vertexBuffer_ = nullptr;
  std::uint32_t streamOffset_ = 0;
  std::uint32_t streamStride_ = 0;
  IndexBufferImpl* indexBuffer_ = nullptr;
  std::uint32_t vertexFormat_ = 0;
};

GfxResult Device::SetRenderState(RenderState state, std::uint32_t value) {
  switch (state) {
    case RS_LIGHTING:
      lighting_ = value != 0;
      return GFX_OK;
    case RS_FILLMODE:
      if (value != FILL_WIREFRAME && value != FILL_SOLID) break;
      fillMode_ = value;
      return GFX_OK;
    case RS_CULLMODE:
      if (value != CULL_NONE && value != CULL_CW && value != CULL_CCW) break;
      cullMode_ = value;
      return GFX_OK;
    case RS_ZENABLE:
      zEnable_ = value != 0;
      return GFX_OK;
    case RS_ZWRITEENABLE:
      zWrite_ = value != 0;
      return GFX_OK;
    default:
      ReportError("GraphicsDevice::SetRenderState", "unknown render state %u",
                  static_cast<unsigned>(state));
      return GFX_ERROR_INVALID_CALL;
  }
  ReportError("GraphicsDevice::SetRenderState", "value %u is not valid for render state %u", value,
              static_cast<unsigned>(state));
  return GFX_ERROR_INVALID_CALL;
}

GfxResult Device::GetRenderState(RenderState state, std::uint32_t* value) {
  if (value == nullptr) {
    ReportError("GraphicsDevice::GetRenderState", "null output pointer");
    return GFX_ERROR_INVALID_CALL;
  }
  switch (state) {
    case RS_LIGHTING:
      *value = lighting_;
      return GFX_OK;
    case RS_FILLMODE:
      *value = fillMode_;
      return GFX_OK;
    case RS_CULLMODE:
      *value = cullMode_;
      return GFX_OK;
    case RS_ZENABLE:
      *value = zEnable_;
      return GFX_OK;
    case RS_ZWRITEENABLE:
      *value = zWrite_;
      return GFX_OK;
  }
  ReportError("GraphicsDevice::GetRenderState", "unknown render state %u",
              static_cast<unsigned>(state));
  return GFX_ERROR_INVALID_CALL;
}

KMMATRIX* Device::TransformSlot(TransformType which) {
  switch (which) {
    case TRANSFORM_WORLD:
      return &world_;
    case TRANSFORM_VIEW:
      return &view_;
    case TRANSFORM_PROJECTION:
      return &projection_;
  }
  return nullptr;
}

GfxResult Device::SetTransform(TransformType which, const KMMATRIX* matrix) {
  KMMATRIX* slot = TransformSlot(which);
  if (slot == nullptr || matrix == nullptr) {
    ReportError("GraphicsDevice::SetTransform", slot ? "null matrix" : "unknown transform %u",
                static_cast<unsigned>(which));
    return GFX_ERROR_INVALID_CALL;
  }
  *slot = *matrix;
  combinedStale_ = true;
  return GFX_OK;
}

GfxResult Device::GetTransform(TransformType which, KMMATRIX* matrix) {
  const KMMATRIX* slot = TransformSlot(which);
  if (slot == nullptr || matrix == nullptr) {
    ReportError("GraphicsDevice::GetTransform", slot ? "null matrix" : "unknown transform %u",
                static_cast<unsigned>(which));
    return GFX_ERROR_INVALID_CALL;
  }
  *matrix = *slot;
  return GFX_OK;
}

GfxResult Device::CreateVertexBuffer(std::uint32_t length, std::uint32_t /*usage*/,
                                     std::uint32_t vertexFormat, Pool pool, VertexBuffer** buffer) {
  constexpr const char* kCall = "GraphicsDevice::CreateVertexBuffer";
  if (buffer != nullptr) *buffer = nullptr;
  if (buffer == nullptr || length == 0 || (pool != POOL_DEFAULT && pool != POOL_SYSTEM_MEMORY)) {
    ReportError(kCall, "needs an output pointer, a nonzero length and a known pool");
    return GFX_ERROR_INVALID_CALL;
  }
  std::unique_ptr<BufferStorage> storage = BufferStorage::Create(length);
  VertexBufferImpl* created =
      storage ? new (std::nothrow) VertexBufferImpl(std::move(storage), vertexFormat) : nullptr;
  if (created == nullptr) {
    ReportError(kCall, "cannot allocate %u bytes", length);
    return GFX_ERROR_OUT_OF_MEMORY;
  }
  *buffer = created;
  return GFX_OK;
}

GfxResult Device::CreateIndexBuffer(std::uint32_t length, std::uint32_t /*usage*/, Format format,
                                    Pool pool, IndexBuffer** buffer) {
  constexpr const char* kCall = "GraphicsDevice::CreateIndexBuffer";
  if (buffer != nullptr) *buffer = nullptr;
  if (buffer == nullptr || length == 0 || (pool != POOL_DEFAULT && pool != POOL_SYSTEM_MEMORY) ||
      (format != FORMAT_INDEX16 && format != FORMAT_INDEX32)) {
    ReportError(kCall,
                "needs an output pointer, a nonzero length, a known pool and an index format");
    return GFX_ERROR_INVALID_CALL;
  }
  std::unique_ptr<BufferStorage> storage = BufferStorage::Create(length);
  IndexBufferImpl* created =
      storage ? new (std::nothrow) IndexBufferImpl(std::move(storage), format) : nullptr;
  if (created == nullptr) {
    ReportError(kCall, "cannot allocate %u bytes", length);
    return GFX_ERROR_OUT_OF_MEMORY;
  }
  *buffer = created;
  return GFX_OK;
}

GfxResult Device::Clear(std::uint32_t count, const GfxRect* rects, std::uint32_t flags,
                        std::uint32_t color, float depth, std::uint32_t /*stencil*/) {
  constexpr const char* kCall = "GraphicsDevice::Clear";
  constexpr std::uint32_t kKnown = CLEAR_TARGET | CLEAR_ZBUFFER | CLEAR_STENCIL;
  if (flags == 0 || (flags & ~kKnown) != 0) {
    ReportError(kCall, "flags 0x%x name nothing to clear", flags);
    return GFX_ERROR_INVALID_CALL;
  }
  if (count != 0 && rects == nullptr) {
    ReportError(kCall, "%u rectangles given as a null pointer", count);
    return GFX_ERROR_INVALID_CALL;
  }
  if ((flags & (CLEAR_ZBUFFER | CLEAR_STENCIL)) && !target_.hasDepth()) {
    ReportError(kCall, "the device has no depth buffer");
    return GFX_ERROR_INVALID_CALL;
  }
  if ((flags & CLEAR_ZBUFFER) && !(depth >= 0.0f && depth <= 1.0f)) {
    ReportError(kCall, "depth %g lies outside 0..1", static_cast<double>(depth));
    return GFX_ERROR_INVALID_CALL;
  }
  const GfxRect whole{0, 0, target_.width(), target_.height()};
  const std::uint32_t areas = count == 0 ? 1 : count;
  for (std::uint32_t i = 0; i < areas; ++i) {
    const GfxRect& r = count == 0 ? whole : rects[i];
    if (flags & CLEAR_TARGET) target_.ClearColor(r.left, r.top, r.right, r.bottom, color);
    if (flags & CLEAR_ZBUFFER) target_.ClearDepth(r.left, r.top, r.right, r.bottom, depth);
  }
  return GFX_OK;
}

GfxResult Device::BeginFrame() {
  if (inFrame_) {
    ReportError("GraphicsDevice::BeginFrame", "called twice without EndFrame");
    return GFX_ERROR_INVALID_CALL;
  }
  inFrame_ = true;
  return GFX_OK;
}

GfxResult Device::EndFrame() {
  if (!inFrame_) {
    ReportError("GraphicsDevice::EndFrame", "called without BeginFrame");
    return GFX_ERROR_INVALID_CALL;
  }
  inFrame_ = false;
  return GFX_OK;
}

GfxResult Device::SetVertexBuffer(std::uint32_t stream, VertexBuffer* buffer,
                                  std::uint32_t offsetInBytes, std::uint32_t stride) {
  if (stream != 0) {
    ReportError("GraphicsDevice::SetVertexBuffer", "stream %u does not exist (only 0)", stream);
    return GFX_ERROR_INVALID_CALL;
  }
  auto* incoming = static_cast<VertexBufferImpl*>(buffer);
  if (incoming != nullptr) incoming->AddRef();
  if (vertexBuffer_ != nullptr) vertexBuffer_->Release();
  vertexBuffer_ = incoming;
  streamOffset_ = offsetInBytes;
  streamStride_ = stride;
  return GFX_OK;
}

GfxResult Device::SetIndexBuffer(IndexBuffer* buffer) {
  auto* incoming = static_cast<IndexBufferImpl*>(buffer);
  if (incoming != nullptr) incoming->AddRef();
  if (indexBuffer_ != nullptr) indexBuffer_->Release();
  indexBuffer_ = incoming;
  return GFX_OK;
}

GfxResult Device::SetVertexFormat(std::uint32_t vertexFormat) {
  constexpr std::uint32_t kKnown = VERTEX_XYZ | VERTEX_NORMAL | VERTEX_DIFFUSE;
  if ((vertexFormat & ~kKnown) != 0) {
    ReportError("GraphicsDevice::SetVertexFormat", "unknown format bits 0x%x", vertexFormat);
    return GFX_ERROR_INVALID_CALL;
  }
  vertexFormat_ = vertexFormat;
  return GFX_OK;
}

ClipVertex Device::FetchVertex(std::uint64_t vertex) {
  const std::uint8_t* at = vertexBuffer_->storage().data() + streamOffset_ + vertex * streamStride_;
  float p[3];
  std::memcpy(p, at, sizeof p);
  std::uint32_t argb = 0xFFFFFFFFu;  // no colour: opaque white
  if (vertexFormat_ & VERTEX_DIFFUSE) {
    std::memcpy(&argb, at + ((vertexFormat_ & VERTEX_NORMAL) ? 24 : 12), sizeof argb);
  }
  // Lighting is accepted but no lights exist, so the vertex colour stands.
  const KMMATRIX& m = combined_;
  auto channel = [argb](int shift) { return static_cast<float>((argb >> shift) & 0xFFu) / 255.0f; };
  auto column = [&](int c) {
    return double{p[0]} * m.m[0][c] + double{p[1]} * m.m[1][c] + double{p[2]} * m.m[2][c] +
           m.m[3][c];
  };
  return {column(0),   column(1),  column(2),  column(3),
          channel(16), channel(8), channel(0), channel(24)};
}

GfxResult Device::DrawIndexed(PrimitiveType primitive, std::int32_t baseVertex,
                              std::uint32_t minIndex, std::uint32_t vertexCount,
                              std::uint32_t startIndex, std::uint32_t primitiveCount) {
  constexpr const char* kCall = "GraphicsDevice::DrawIndexed";
  if (!inFrame_) {
    ReportError(kCall, "called outside BeginFrame/EndFrame");
    return GFX_ERROR_INVALID_CALL;
  }
  if (vertexBuffer_ == nullptr || indexBuffer_ == nullptr) {
    ReportError(kCall, "no %s buffer is set", vertexBuffer_ == nullptr ? "vertex" : "index");
    return GFX_ERROR_INVALID_CALL;
  }
  const std::uint32_t vertexSize = VertexSize(vertexFormat_);
  if (!(vertexFormat_ & VERTEX_XYZ) || streamStride_ < vertexSize) {
    ReportError(kCall, "vertex format 0x%x (%u bytes) does not fit stride %u", vertexFormat_,
                vertexSize, streamStride_);
    return GFX_ERROR_INVALID_CALL;
  }
  const std::uint64_t indexCount = IndexCountOf(primitive, primitiveCount);
  if (indexCount == 0) {
    ReportError(kCall, "unknown primitive type %u", static_cast<unsigned>(primitive));
    return GFX_ERROR_INVALID_CALL;
  }
  if (primitiveCount == 0) return GFX_OK;
  if (startIndex + indexCount > indexBuffer_->IndexCount()) {
    ReportError(kCall, "indices %u..%llu lie beyond the %u indices of the index buffer", startIndex,
                static_cast<unsigned long long>(startIndex + indexCount - 1),
                indexBuffer_->IndexCount());
    return GFX_ERROR_INVALID_CALL;
  }
  // Every vertex the draw reads must lie inside the vertex buffer; a draw that
  // would reach outside draws nothing.
  const std::uint64_t vertexBytes = vertexBuffer_->storage().length();
  bool warnedRange = false;
  for (std::uint64_t k = startIndex; k < startIndex + indexCount; ++k) {
    const std::uint32_t index = indexBuffer_->IndexAt(static_cast<std::uint32_t>(k));
    const std::int64_t vertex = std::int64_t{baseVertex} + index;
    if (vertex < 0 ||
        streamOffset_ + static_cast<std::uint64_t>(vertex) * streamStride_ + vertexSize >
            vertexBytes) {
      ReportError(kCall, "index %u at position %llu names vertex %lld, outside the vertex buffer",
                  index, static_cast<unsigned long long>(k), static_cast<long long>(vertex));
      return GFX_ERROR_INVALID_CALL;
    }
    if (!warnedRange && (index < minIndex || index - minIndex >= vertexCount)) {
      ReportWarning(kCall, "index %u lies outside the declared range %u..+%u", index, minIndex,
                    vertexCount);
      warnedRange = true;
    }
  }
  if (vertexBuffer_->storage().locked() || indexBuffer_->storage().locked()) {
    ReportWarning(kCall, "drawing from a locked buffer");
  }

  if (combinedStale_) {
    KMMATRIX worldView;
    KMMatrixMultiply(&worldView, &world_, &view_);
    KMMatrixMultiply(&combined_, &worldView, &projection_);
    combinedStale_ = false;
  }
  RasterState state;
  state.wireframe = fillMode_ == FILL_WIREFRAME;
  state.cullMode = cullMode_;
  state.depthTest = zEnable_;
  state.depthWrite = zEnable_ && zWrite_;

  auto vertexAt = [&](std::uint64_t k) {
    const std::uint32_t index = indexBuffer_->IndexAt(static_cast<std::uint32_t>(k));
    return FetchVertex(static_cast<std::uint64_t>(std::int64_t{baseVertex} + index));
  };
  for (std::uint64_t i = 0; i < primitiveCount; ++i) {
    const std::uint64_t s = startIndex;
    switch (primitive) {
      case PRIMITIVE_LINE_LIST:
        target_.DrawLine(state, vertexAt(s + 2 * i), vertexAt(s + 2 * i + 1));
        break;
      case PRIMITIVE_LINE_STRIP:
        target_.DrawLine(state, vertexAt(s + i), vertexAt(s + i + 1));
        break;
      case PRIMITIVE_TRIANGLE_LIST:
        target_.DrawTriangle(state, vertexAt(s + 3 * i), vertexAt(s + 3 * i + 1),
                             vertexAt(s + 3 * i + 2), false);
        break;
      case PRIMITIVE_TRIANGLE_STRIP:
        // Every second triangle of a strip runs the other way round.
        target_.DrawTriangle(state, vertexAt(s + i), vertexAt(s + i + 1), vertexAt(s + i + 2),
                             (i & 1) != 0);
        break;
      case PRIMITIVE_TRIANGLE_FAN:
        target_.DrawTriangle(state, vertexAt(s), vertexAt(s + i + 1), vertexAt(s + i + 2), false);
        break;
    }
  }
  return GFX_OK;
}

GfxResult Device::Present(const GfxRect* /*sourceRect*/, const GfxRect* /*destRect*/,
                          WindowHandle windowOverride, const void* /*dirtyRegion*/) {
  Window* window = windowOverride != nullptr ? windowOverride : window_;
  if (window == nullptr) {
    ReportError("GraphicsDevice::Present", "no window to present into");
    return GFX_ERROR_INVALID_CALL;
  }
  window->PresentFrame(target_.pixels(), target_.width(), target_.height(), target_.width());
  return GFX_OK;
}

class System final : public GraphicsSystem {
 public:
  std::uint32_t AddRef() override { return ++references_; }
  std::uint32_t Release() override {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }
  GfxResult GetCapabilities(std::uint32_t adapter, DeviceType type,
                            DeviceCapabilities* caps) override;
  GfxResult CreateDevice(std::uint32_t adapter, DeviceType type, WindowHandle focusWindow,
                         std::uint32_t behaviorFlags, PresentParameters* parameters,
                         GraphicsDevice** device) override;

 private:
  ~System() override = default;
  std::uint32_t references_ = 1;
};

bool KnownDeviceType(DeviceType type) {
  return type == DEVICE_TYPE_HARDWARE || type == DEVICE_TYPE_REFERENCE;
}

GfxResult System::GetCapabilities(std::uint32_t adapter, DeviceType type,
                                  DeviceCapabilities* caps) {
  if (caps == nullptr || adapter != ADAPTER_DEFAULT || !KnownDeviceType(type)) {
    ReportError("GraphicsSystem::GetCapabilities",
                "needs the default adapter, a known device type and an output record");
    return GFX_ERROR_INVALID_CALL;
  }
  std::memset(caps, 0, sizeof *caps);
  caps->deviceType = type;
  caps->adapterOrdinal = adapter;
  // The same rasterizer serves both; only the hardware type advertises
  // transform and lighting, so a caller exercises both set-up paths.
  caps->deviceCaps = type == DEVICE_TYPE_HARDWARE ? DEVCAPS_HW_TRANSFORM_AND_LIGHT : 0;
  caps->maxPrimitiveCount = 0xFFFFFu;
  caps->maxVertexIndex = 0xFFFFFFu;
  caps->maxStreams = 1;
  caps->maxTextureWidth = kMaxDimension;
  caps->maxTextureHeight = kMaxDimension;
  return GFX_OK;
}

GfxResult System::CreateDevice(std::uint32_t adapter, DeviceType type, WindowHandle focusWindow,
                               std::uint32_t behaviorFlags, PresentParameters* parameters,
                               GraphicsDevice** device) {
  constexpr const char* kCall = "GraphicsSystem::CreateDevice";
  if (device == nullptr || parameters == nullptr) {
    ReportError(kCall, "null %s", device == nullptr ? "output pointer" : "presentation parameters");
    return GFX_ERROR_INVALID_CALL;
  }
  *device = nullptr;
  if (adapter != ADAPTER_DEFAULT || !KnownDeviceType(type)) {
    ReportError(kCall, "adapter %u / device type %u does not exist", adapter,
                static_cast<unsigned>(type));
    return GFX_ERROR_INVALID_CALL;
  }
  const std::uint32_t processing =
      behaviorFlags & (CREATE_SOFTWARE_VERTEXPROCESSING | CREATE_HARDWARE_VERTEXPROCESSING);
  if (processing != CREATE_SOFTWARE_VERTEXPROCESSING &&
      processing != CREATE_HARDWARE_VERTEXPROCESSING) {
    ReportError(kCall, "behaviour flags 0x%x need exactly one vertex-processing flag",
                behaviorFlags);
    return GFX_ERROR_INVALID_CALL;
  }
  PresentParameters& p = *parameters;
  WindowHandle window = p.deviceWindow != nullptr ? p.deviceWindow : focusWindow;
  if (window == nullptr) {
    ReportError(kCall, "neither a device window nor a focus window is given");
    return GFX_ERROR_INVALID_CALL;
  }
  if (!p.windowed) {
    ReportError(kCall, "only windowed devices are available");
    return GFX_ERROR_NOT_AVAILABLE;
  }
  if (p.swapEffect != SWAP_EFFECT_DISCARD && p.swapEffect != SWAP_EFFECT_COPY) {
    ReportError(kCall, "unknown swap effect %u", static_cast<unsigned>(p.swapEffect));
    return GFX_ERROR_INVALID_CALL;
  }
  if (p.presentationInterval != PRESENT_INTERVAL_DEFAULT &&
      p.presentationInterval != PRESENT_INTERVAL_ONE &&
      p.presentationInterval != PRESENT_INTERVAL_IMMEDIATE) {
    ReportError(kCall, "unknown presentation interval 0x%x", p.presentationInterval);
    return GFX_ERROR_INVALID_CALL;
  }
  const std::uint32_t width = p.backBufferWidth != 0 ? p.backBufferWidth : kDefaultWidth;
  const std::uint32_t height = p.backBufferHeight != 0 ? p.backBufferHeight : kDefaultHeight;
  const Format format = p.backBufferFormat != FORMAT_UNKNOWN ? p.backBufferFormat : FORMAT_A8R8G8B8;
  if (width > kMaxDimension || height > kMaxDimension ||
      (format != FORMAT_A8R8G8B8 && format != FORMAT_X8R8G8B8) || p.backBufferCount > 1 ||
      p.multiSampleType != MULTISAMPLE_NONE) {
    ReportError(kCall, "back buffer %ux%u, format %u, count %u, multisampling %u not available",
                width, height, static_cast<unsigned>(format), p.backBufferCount,
                static_cast<unsigned>(p.multiSampleType));
    return GFX_ERROR_NOT_AVAILABLE;
  }
  const bool hasDepth = p.enableAutoDepthStencil != 0;
  if (hasDepth && p.autoDepthStencilFormat != FORMAT_D24S8 &&
      p.autoDepthStencilFormat != FORMAT_D32F) {
    ReportError(kCall, "depth format %u is not a depth format",
                static_cast<unsigned>(p.autoDepthStencilFormat));
    return GFX_ERROR_INVALID_CALL;
  }
  Device* created = nullptr;
  try {
    created = new Device(window, static_cast<int>(width), static_cast<int>(height), hasDepth);
  } catch (const std::bad_alloc&) {
    created = nullptr;
  }
  if (created == nullptr) {
    ReportError(kCall, "cannot allocate the device");
    return GFX_ERROR_OUT_OF_MEMORY;
  }
  // Hand back the values chosen for defaulted fields.
  p.backBufferWidth = width;
  p.backBufferHeight = height;
  p.backBufferFormat = format;
  p.backBufferCount = 1;
  *device = created;
  return GFX_OK;
}

}  // namespace
}  // namespace kubik::gfx

extern "C" kubik::GraphicsSystem* CreateGraphicsSystem(std::uint32_t version) {
  if (version != kubik::GRAPHICS_INTERFACE_VERSION) {
    kubik::gfx::ReportError("CreateGraphicsSystem", "interface version 0x%x, this module is 0x%x",
                            version, kubik::GRAPHICS_INTERFACE_VERSION);
    return nullptr;
  }
  return new (std::nothrow) kubik::gfx::System();
}
