// The cube viewer: entry, window procedure, graphics set-up, frame and
// teardown, and the process-wide state they share.
#pragma once

#include <cstdint>

#include "platform/gfx/gfx.h"
#include "platform/window/window.h"

namespace kubik {

// ---- Window, loop and input ----------------------------------------------

extern WindowHandle MainWindow;
extern bool Dragging;
extern std::int32_t MouseX;
extern std::int32_t MouseY;
extern std::int32_t LastMouseX;
extern std::int32_t LastMouseY;
extern float YawDegrees;
extern float PitchDegrees;

inline constexpr const char* kViewerClassName = "Cube";
inline constexpr const char* kViewerTitle = "Kubik - Cube";
inline constexpr const char* kRegistrationFailedText = "Ошибка при регистрации класса.";
inline constexpr const char* kWindowFailedText = "Ошибка создания окна";

// Runs the viewer to its end and returns the exit code carried by the quit
// message. Registration or window failure ends the process with code 1.
std::int32_t ViewerMain(InstanceHandle instance, int showCommand);

ProcResult ViewerWindowProc(WindowHandle window, std::uint32_t code, WParam wParam, LParam lParam);

// ---- Graphics ------------------------------------------------------------

extern GraphicsSystem* GraphicsSystemObject;
extern GraphicsDevice* Device;
extern VertexBuffer* CubeVertexBuffer;
extern IndexBuffer* CubeIndexBuffer;

struct CubeVertex {
  float x, y, z;
};
extern const CubeVertex CubeVertices[8];
extern const std::uint16_t CubeIndices[24];

void SetUpGraphics();
void RenderFrame();
void ReleaseGraphics();

}  // namespace kubik
