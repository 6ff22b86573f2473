#include "RunGUI.h"

#ifndef _WIN32
#include "DesktopFallbacks.h"
#endif

namespace MorvaneGUI {

bool RunGUI(int argc, char** argv) {
#ifdef _WIN32
    RunWin32(argc, argv);
#else
    (void)argc;
    (void)argv;
    if (!ShowWindowThroughSdl()) {
        ShowOnTerminal();
    }
#endif
    return true;  // the box's answer carries no meaning
}

}  // namespace MorvaneGUI
