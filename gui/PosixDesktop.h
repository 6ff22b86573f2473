// How the desktop message is shown where there is no MessageBoxA: in an SDL2 window where a
// display is there, else on the terminal.
#pragma once

namespace MorvaneGUI {

// Shows a modal message box through SDL2, loaded at run time so that the bake commands never
// need it. Returns false, having shown nothing, when there is no display or no SDL2; when SDL2
// cannot show the window on a display it says why on standard error.
bool ShowWindowThroughSdl();

// Shows the message on the controlling terminal and waits for Enter; without a terminal it
// writes the message to standard error and returns at once.
void ShowOnTerminal();

}  // namespace MorvaneGUI
