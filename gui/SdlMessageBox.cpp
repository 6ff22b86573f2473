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

bool HasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

bool ShowWindowThroughSdl() {
    if (!HasDisplay()) {
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
