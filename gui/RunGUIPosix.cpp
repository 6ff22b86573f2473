#include "PosixDesktop.h"
#include "RunGUI.h"

namespace MorvaneGUI {

void RunGUI() {
    if (!ShowWindowThroughSdl()) {
        ShowOnTerminal();
    }
}

}  // namespace MorvaneGUI
