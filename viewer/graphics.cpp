// Graphics device set-up, the cube's geometry, one frame, and teardown.
#include <kubik/kmath.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/gfx/gfx.h"
#include "viewer/graphics_module.h"
#include "viewer/viewer.h"

namespace kubik {

GraphicsSystem* GraphicsSystemObject = nullptr;
GraphicsDevice* Device = nullptr;
VertexBuffer* CubeVertexBuffer = nullptr;
IndexBuffer* CubeIndexBuffer = nullptr;

const CubeVertex CubeVertices[8] = {
    {-1.0f, 1.0f, -1.0f}, {1.0f, 1.0f, -1.0f},  {-1.0f, -1.0f, -1.0f}, {1.0f, -1.0f, -1.0f},
    {-1.0f, 1.0f, 1.0f},  {-1.0f, -1.0f, 1.0f}, {1.0f, 1.0f, 1.0f},    {1.0f, -1.0f, 1.0f},
};

// Six strips of two triangles, one per face; the first triangle of each is
// clockwise seen from outside, so default culling keeps the faces in front.
const std::uint16_t CubeIndices[24] = {
    0, 1, 2, 3,  // z = -1, towards the eye
    4, 5, 6, 7,  // z = +1
    4, 6, 0, 1,  // y = +1
    5, 2, 7, 3,  // y = -1
    1, 6, 3, 7,  // x = +1
    0, 2, 4, 5,  // x = -1
};

static_assert(sizeof(CubeVertices) == 96);
static_assert(sizeof(CubeIndices) == 48);

namespace {

// The constants are the float roundings of pi/4, 4/3, 0.1 and pi/180.
constexpr float kFieldOfView = 0.785398185f;
constexpr float kAspect = 1.33333337f;
constexpr float kNearPlane = 0.1f;
constexpr float kFarPlane = 100.0f;
constexpr float kRadiansPerDegree = 0.0174532924f;
static_assert(std::bit_cast<std::uint32_t>(kFieldOfView) == 0x3F490FDBu);
static_assert(std::bit_cast<std::uint32_t>(kAspect) == 0x3FAAAAABu);
static_assert(std::bit_cast<std::uint32_t>(kNearPlane) == 0x3DCCCCCDu);
static_assert(std::bit_cast<std::uint32_t>(kRadiansPerDegree) == 0x3C8EFA35u);

constexpr std::uint32_t kVertexStride = sizeof(CubeVertex);

}  // namespace

void SetUpGraphics() {
  const CreateGraphicsSystemEntry createGraphicsSystem = GraphicsModuleEntry();
  GraphicsSystemObject =
      createGraphicsSystem != nullptr ? createGraphicsSystem(GRAPHICS_INTERFACE_VERSION) : nullptr;
  // No result is acted on, but nothing goes through a null object: a missing
  // object ends set-up, and RenderFrame then draws nothing.
  if (GraphicsSystemObject == nullptr) return;

  DeviceCapabilities caps;
  std::memset(&caps, 0, sizeof(caps));
  GraphicsSystemObject->GetCapabilities(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, &caps);
  std::uint32_t vertexProcessing = (caps.deviceCaps & DEVCAPS_HW_TRANSFORM_AND_LIGHT) != 0
                                       ? CREATE_HARDWARE_VERTEXPROCESSING
                                       : CREATE_SOFTWARE_VERTEXPROCESSING;

  PresentParameters params;
  std::memset(&params, 0, sizeof(params));
  params.backBufferWidth = 640;
  params.backBufferHeight = 480;
  params.backBufferFormat = FORMAT_A8R8G8B8;
  params.backBufferCount = 1;
  params.multiSampleType = MULTISAMPLE_NONE;
  params.swapEffect = SWAP_EFFECT_DISCARD;
  params.deviceWindow = MainWindow;
  params.windowed = 1;
  params.enableAutoDepthStencil = 1;
  params.autoDepthStencilFormat = FORMAT_D24S8;
  params.flags = 0;
  params.presentationInterval = PRESENT_INTERVAL_IMMEDIATE;

  GraphicsDevice* device = nullptr;
  GraphicsSystemObject->CreateDevice(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, MainWindow,
                                     vertexProcessing, &params, &device);
  Device = device;
  if (Device == nullptr) return;

  Device->SetRenderState(RS_LIGHTING, 0);
  Device->SetRenderState(RS_FILLMODE, FILL_WIREFRAME);

  KMMATRIX projection;
  KMMatrixPerspectiveFovLH(&projection, kFieldOfView, kAspect, kNearPlane, kFarPlane);
  Device->SetTransform(TRANSFORM_PROJECTION, &projection);

  VertexBuffer* vertexBuffer = nullptr;
  Device->CreateVertexBuffer(sizeof(CubeVertices), USAGE_WRITEONLY, VERTEX_XYZ, POOL_DEFAULT,
                             &vertexBuffer);
  CubeVertexBuffer = vertexBuffer;
  if (CubeVertexBuffer != nullptr) {
    void* data = nullptr;
    if (GfxSucceeded(CubeVertexBuffer->Lock(0, sizeof(CubeVertices), &data, 0)) &&
        data != nullptr) {
      std::memcpy(data, CubeVertices, sizeof(CubeVertices));
      CubeVertexBuffer->Unlock();
    }
  }

  IndexBuffer* indexBuffer = nullptr;
  Device->CreateIndexBuffer(sizeof(CubeIndices), USAGE_WRITEONLY, FORMAT_INDEX16, POOL_DEFAULT,
                            &indexBuffer);
  CubeIndexBuffer = indexBuffer;
  if (CubeIndexBuffer != nullptr) {
    void* data = nullptr;
    if (GfxSucceeded(CubeIndexBuffer->Lock(0, sizeof(CubeIndices), &data, 0)) && data != nullptr) {
      std::memcpy(data, CubeIndices, sizeof(CubeIndices));
      CubeIndexBuffer->Unlock();
    }
  }
}

void RenderFrame() {
  if (Device == nullptr) return;

  Device->Clear(0, nullptr, CLEAR_TARGET | CLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);

  KMMATRIX translation;
  KMMatrixTranslation(&translation, 0.0f, 0.0f, 5.0f);
  // Each angle is rounded to float before the call.
  const float yaw = YawDegrees * kRadiansPerDegree;
  const float pitch = PitchDegrees * kRadiansPerDegree;
  KMMATRIX rotation;
  KMMatrixRotationYawPitchRoll(&rotation, yaw, pitch, 0.0f);
  // Turn about the cube's own centre, then move it in front of the eye.
  KMMATRIX world = rotation * translation;
  Device->SetTransform(TRANSFORM_WORLD, &world);

  Device->BeginFrame();
  if (CubeVertexBuffer != nullptr && CubeIndexBuffer != nullptr) {
    Device->SetVertexBuffer(0, CubeVertexBuffer, 0, kVertexStride);
    Device->SetIndexBuffer(CubeIndexBuffer);
    Device->SetVertexFormat(VERTEX_XYZ);
    for (std::uint32_t face = 0; face < 6; ++face) {
      Device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 8, face * 4, 2);
    }
  }
  Device->EndFrame();
  Device->Present(nullptr, nullptr, nullptr, nullptr);
}

void ReleaseGraphics() {
  if (CubeVertexBuffer != nullptr) CubeVertexBuffer->Release();
  if (CubeIndexBuffer != nullptr) CubeIndexBuffer->Release();
  if (Device != nullptr) Device->Release();
  if (GraphicsSystemObject != nullptr) GraphicsSystemObject->Release();
}

}  // namespace kubik
