#include <windows.h>

#include <string>

#include "DesktopMessage.h"
#include "RunGUI.h"

int RunWin32(int /*argc*/, char** /*argv*/) {
    // Windows message boxes break lines on CR LF.
    std::string text = MorvaneGUI::kText;
    text.replace(text.find('\n'), 1, "\r\n");
    MessageBoxA(nullptr, text.c_str(), MorvaneGUI::kCaption, MB_OK | MB_ICONINFORMATION);
    return 0;
}
