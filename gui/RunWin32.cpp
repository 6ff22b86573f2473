#include <windows.h>

#include <string>

#include "DesktopMessage.h"
#include "RunGUI.h"

// The Windows routine behind the desktop mode: a MessageBoxA with no owner and an information
// icon. Its answer carries no meaning.
void RunWin32() {
    // Windows message boxes break lines on CR LF.
    std::string text = MorvaneGUI::kText;
    text.replace(text.find('\n'), 1, "\r\n");
    MessageBoxA(nullptr, text.c_str(), MorvaneGUI::kCaption, MB_OK | MB_ICONINFORMATION);
}

namespace MorvaneGUI {

void RunGUI() {
    RunWin32();
}

}  // namespace MorvaneGUI
