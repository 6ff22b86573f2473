#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "DesktopMessage.h"
#include "PosixDesktop.h"

namespace MorvaneGUI {
namespace {

// The two SDL2 entry points used, as SDL2's stable C interface declares them.
using ShowSimpleMessageBoxFunction = int (*)(std::uint32_t flags, const char* title,
                                             const char* message, void* window);
using QuitFunction = void (*)();
using GetErrorFunction = const char* (*)();
constexpr std::uint32_t kSdlMessageBoxInformation = 0x00000040;

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Whether the X display named by DISPLAY can be opened, asked of libX11 (which SDL2 itself
// uses) so that the user hears the real cause. Unknown, and so assumed, without libX11.
bool X11DisplayOpens() {
    using OpenDisplayFunction = void* (*)(const char* name);
    using CloseDisplayFunction = int (*)(void* display);
    void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (x11 == nullptr) {
        return true;
    }
    const auto open = reinterpret_cast<OpenDisplayFunction>(dlsym(x11, "XOpenDisplay"));
    const auto close = reinterpret_cast<CloseDisplayFunction>(dlsym(x11, "XCloseDisplay"));
    void* display = open != nullptr ? open(nullptr) : nullptr;
    if (display != nullptr && close != nullptr) {
        close(display);
    }
    return open == nullptr || display != nullptr;
}

}  // namespace

bool ShowWindowThroughSdl() {
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        return false;
    }
    if (IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !X11DisplayOpens()) {
        std::fprintf(stderr, "morvane: cannot show a window: cannot open display '%s'\n",
                     std::getenv("DISPLAY"));
        return false;
    }
    void* sdl = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (sdl == nullptr) {
        return false;
    }
    const auto show =
        reinterpret_cast<ShowSimpleMessageBoxFunction>(dlsym(sdl, "SDL_ShowSimpleMessageBox"));
    const auto quit = reinterpret_cast<QuitFunction>(dlsym(sdl, "SDL_Quit"));
    const auto getError = reinterpret_cast<GetErrorFunction>(dlsym(sdl, "SDL_GetError"));
    const bool shown =
        show != nullptr && show(kSdlMessageBoxInformation, kCaption, kText, nullptr) == 0;
    if (!shown && getError != nullptr) {
        // A display was there but no window came up: say why before falling back.
        std::fprintf(stderr, "morvane: cannot show a window: %s\n", getError());
    }
    if (quit != nullptr) {
        quit();
    }
    // SDL2 stays loaded: unloading it while its threads or handlers may linger is unsafe.
    return shown;
}

}  // namespace MorvaneGUI
