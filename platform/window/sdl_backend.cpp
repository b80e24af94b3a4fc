// Desktop backend on SDL2: a real window, real mouse and keyboard, frames
// blitted into the client area, message boxes through SDL.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/window/backend.h"

namespace kubik::window_internal {
namespace {

class SdlWindow final : public TopLevelWindow {
 public:
  explicit SdlWindow(SDL_Window* native) : native_(native) {}
  ~SdlWindow() override { Close(); }

  SDL_Window* native() const { return native_; }

  void Close() {
    if (native_ != nullptr) SDL_DestroyWindow(native_);
    native_ = nullptr;
  }

  void RefreshGeometry() {
    if (native_ == nullptr) return;
    SDL_GetWindowSize(native_, &clientWidth, &clientHeight);
    int cx = 0, cy = 0;
    SDL_GetWindowPosition(native_, &cx, &cy);
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(native_, &top, &left, &bottom, &right) != 0) top = left = 0;
    x = cx - left;
    y = cy - top;
  }

 protected:
  void ShowFrame(const std::uint32_t* pixels, int width, int height, int pitch) override {
    if (native_ == nullptr) return;
    SDL_Surface* target = SDL_GetWindowSurface(native_);
    if (target == nullptr) return;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint32_t*>(pixels), width, height, 32,
        pitch * static_cast<int>(sizeof(std::uint32_t)), SDL_PIXELFORMAT_ARGB8888);
    if (source == nullptr) return;
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    if (width == target->w && height == target->h) {
      SDL_BlitSurface(source, nullptr, target, nullptr);
    } else {
      SDL_BlitScaled(source, nullptr, target, nullptr);
    }
    SDL_FreeSurface(source);
    SDL_UpdateWindowSurface(native_);
  }

 private:
  SDL_Window* native_;
};

WParam KeyCode(const SDL_Keysym& key) {
  SDL_Keycode k = key.sym;
  if (k == SDLK_ESCAPE) return KEY_ESCAPE;
  if (k == SDLK_RETURN || k == SDLK_KP_ENTER) return KEY_RETURN;
  if (k == SDLK_BACKSPACE) return KEY_BACKSPACE;
  if (k == SDLK_TAB) return KEY_TAB;
  if (k == SDLK_SPACE) return KEY_SPACE;
  if (k >= SDLK_a && k <= SDLK_z) return static_cast<WParam>('A' + (k - SDLK_a));
  if (k >= SDLK_0 && k <= SDLK_9) return static_cast<WParam>('0' + (k - SDLK_0));
  return KEY_OTHER_BASE + static_cast<WParam>(key.scancode);
}

WParam ButtonFlags(Uint32 state) {
  WParam flags = 0;
  if ((state & SDL_BUTTON_LMASK) != 0) flags |= MOUSE_LBUTTON;
  if ((state & SDL_BUTTON_RMASK) != 0) flags |= MOUSE_RBUTTON;
  if ((state & SDL_BUTTON_MMASK) != 0) flags |= MOUSE_MBUTTON;
  return flags;
}

class SdlBackend final : public Backend {
 public:
  std::unique_ptr<TopLevelWindow> CreateNativeWindow(const char* title, std::uint32_t style, int x,
                                                     int y, int width, int height) override {
    if (!StartVideo()) return nullptr;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if ((style & WINDOW_SIZING_BORDER) != 0) flags |= SDL_WINDOW_RESIZABLE;
    if ((style & (WINDOW_TITLE_BAR | WINDOW_EDGED_FRAME)) == 0) flags |= SDL_WINDOW_BORDERLESS;
    // SDL sizes the client area; the outer size is fitted once the frame is
    // known, after the window is mapped.
    SDL_Window* native = SDL_CreateWindow(title, x, y, width, height, flags);
    if (native == nullptr) {
      std::fprintf(stderr, "window system: cannot create a window: %s\n", SDL_GetError());
      return nullptr;
    }
    auto w = std::make_unique<SdlWindow>(native);
    w->RefreshGeometry();
    requested_[SDL_GetWindowID(native)] = {x, y, width, height};
    byId_[SDL_GetWindowID(native)] = w.get();
    return w;
  }

  void ShowNativeWindow(TopLevelWindow& window, int showCommand) override {
    auto& w = static_cast<SdlWindow&>(window);
    SDL_Window* native = w.native();
    if (native == nullptr) return;
    switch (showCommand) {
      case SHOW_HIDE:
        SDL_HideWindow(native);
        return;
      case SHOW_MINIMIZED:
        SDL_ShowWindow(native);
        SDL_MinimizeWindow(native);
        break;
      case SHOW_MAXIMIZED:
        SDL_ShowWindow(native);
        SDL_MaximizeWindow(native);
        break;
      default:
        SDL_ShowWindow(native);
        FitOuterSize(w);
        break;
    }
    w.RefreshGeometry();
  }

  void DestroyNativeWindow(TopLevelWindow& window) override {
    auto& w = static_cast<SdlWindow&>(window);
    if (w.native() != nullptr) {
      byId_.erase(SDL_GetWindowID(w.native()));
      requested_.erase(SDL_GetWindowID(w.native()));
    }
    w.Close();
  }

  void PumpInput() override {
    if (!videoStarted_) return;
    SDL_Event e;
    while (SDL_PollEvent(&e) != 0) Translate(e);
  }

  bool ShowNativeMessageBox(const char* text, const char* caption, std::uint32_t flags) override {
    if (!StartVideo()) return false;
    Uint32 kind = SDL_MESSAGEBOX_INFORMATION;
    if ((flags & MESSAGE_BOX_ICON_ERROR) != 0) kind = SDL_MESSAGEBOX_ERROR;
    if ((flags & MESSAGE_BOX_ICON_WARNING) != 0) kind = SDL_MESSAGEBOX_WARNING;
    return SDL_ShowSimpleMessageBox(kind, caption, text, nullptr) == 0;
  }

  WindowPoint CursorPosition() override {
    if (!videoStarted_) return {0, 0};
    int gx = 0, gy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    return {gx, gy};
  }

 private:
  struct Outer {
    int x, y, width, height;
  };

  bool StartVideo() {
    if (videoStarted_) return true;
    if (videoFailed_) return false;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || display[0] == '\0') && (wayland == nullptr || wayland[0] == '\0')) {
      std::fprintf(stderr, "window system: no display (DISPLAY is not set)\n");
      videoFailed_ = true;
      return false;
    }
    // Ctrl-C and kill keep their usual meaning; the mouse is never captured,
    // so a release outside the window is not seen.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Only the display that was named: when it cannot be reached SDL would
    // otherwise fall back to an off-screen driver, and the program would run
    // on with a window nobody can see. SDL_VIDEODRIVER, when set, still wins.
    const bool hasX = display != nullptr && display[0] != '\0';
    const bool hasWayland = wayland != nullptr && wayland[0] != '\0';
    SDL_SetHint(SDL_HINT_VIDEODRIVER, hasX && hasWayland ? "x11,wayland"
                                      : hasX             ? "x11"
                                                         : "wayland");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      const char* name = hasX ? display : wayland;
      std::fprintf(stderr, "window system: cannot reach the display %s: %s\n", name,
                   SDL_GetError());
      videoFailed_ = true;
      return false;
    }
    videoStarted_ = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && SDL_strcmp(driver, "x11") == 0) WatchForDisplayLoss();
    return true;
  }

  // The caller asked for an outer rectangle; shrink the client by the frame
  // the window manager drew, and put the frame's corner where asked.
  void FitOuterSize(SdlWindow& w) {
    auto it = requested_.find(SDL_GetWindowID(w.native()));
    if (it == requested_.end()) return;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(w.native(), &top, &left, &bottom, &right) != 0) return;
    if (top == 0 && left == 0 && bottom == 0 && right == 0) return;
    const Outer& o = it->second;
    int cw = o.width - left - right;
    int ch = o.height - top - bottom;
    if (cw > 0 && ch > 0) SDL_SetWindowSize(w.native(), cw, ch);
    SDL_SetWindowPosition(w.native(), o.x + left, o.y + top);
  }

  SdlWindow* ById(Uint32 id) {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
  }

  void Translate(const SDL_Event& e) {
    switch (e.type) {
      case SDL_WINDOWEVENT: {
        SdlWindow* w = ById(e.window.windowID);
        if (w == nullptr) return;
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
          QueueMessage(w, MSG_CLOSE, 0, 0);
        } else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
                   e.window.event == SDL_WINDOWEVENT_MOVED) {
          w->RefreshGeometry();
        }
        return;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        SdlWindow* w = ById(e.key.windowID);
        if (w == nullptr) return;
        QueueMessage(w, e.type == SDL_KEYDOWN ? MSG_KEYDOWN : MSG_KEYUP, KeyCode(e.key.keysym), 0);
        return;
      }
      case SDL_MOUSEMOTION: {
        SdlWindow* w = ById(e.motion.windowID);
        // Only over the client area: the pointer may still report while a
        // button is held outside it, and those reports are not ours.
        if (w == nullptr || !InsideClient(*w, e.motion.x, e.motion.y)) return;
        QueueMessage(w, MSG_MOUSEMOVE, ButtonFlags(e.motion.state),
                     MakeMouseParam(e.motion.x, e.motion.y));
        return;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        SdlWindow* w = ById(e.button.windowID);
        if (w == nullptr || e.button.button != SDL_BUTTON_LEFT) return;
        if (!InsideClient(*w, e.button.x, e.button.y)) return;
        QueueMessage(w, e.type == SDL_MOUSEBUTTONDOWN ? MSG_LBUTTONDOWN : MSG_LBUTTONUP,
                     ButtonFlags(SDL_GetMouseState(nullptr, nullptr)),
                     MakeMouseParam(e.button.x, e.button.y));
        return;
      }
      default:
        return;
    }
  }

  bool videoStarted_ = false;
  bool videoFailed_ = false;
  std::map<Uint32, SdlWindow*> byId_;
  std::map<Uint32, Outer> requested_;
};

}  // namespace

Backend& DesktopBackend() {
  static SdlBackend* backend = new SdlBackend;
  return *backend;
}

}  // namespace kubik::window_internal
