// The desktop mode: a modal information window that points the user to the console commands.
#pragma once

namespace MorvaneGUI {

// Shows the information window and returns once it is dismissed: a MessageBoxA on Windows, an
// SDL2 window elsewhere. Without a display it falls back to the terminal (caption and text,
// then waits for Enter); with neither a display nor a terminal it writes the text to standard
// error and returns at once. Never writes to standard output.
void RunGUI();

}  // namespace MorvaneGUI
