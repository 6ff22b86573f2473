// The desktop mode: a modal information window that points the user to the console commands.
#pragma once

namespace MorvaneGUI {

// Shows the information window and returns once it is dismissed. Without a display it falls
// back to the terminal (caption and text, then waits for Enter); with neither a display nor a
// terminal it writes the text to standard error and returns at once. Always returns true and
// never writes to standard output. The arguments are not used.
bool RunGUI(int argc, char** argv);

}  // namespace MorvaneGUI

#ifdef _WIN32
// The Windows routine behind the desktop mode: a MessageBoxA with no owner. Returns 0.
int RunWin32(int argc, char** argv);
#endif
