#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "DesktopMessage.h"
#include "PosixDesktop.h"

namespace MorvaneGUI {
namespace {

void WriteAll(int descriptor, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(descriptor, text.data() + done, text.size() - done);
        if (written <= 0) {
            return;  // nothing more can be shown; the caller still returns normally
        }
        done += static_cast<std::size_t>(written);
    }
}

// Reads until a line feed, end of input or an error.
void WaitForEnter(int descriptor) {
    char c = 0;
    while (read(descriptor, &c, 1) == 1 && c != '\n') {
    }
}

}  // namespace

void ShowOnTerminal() {
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) {
        // Nobody could dismiss anything: tell whoever reads the error stream, and go on.
        std::fprintf(stderr, "%s\n", kText);
        return;
    }
    WriteAll(terminal, std::string(kCaption) + "\n\n" + kText + "\n\nPress Enter to close. ");
    WaitForEnter(terminal);
    close(terminal);
}

}  // namespace MorvaneGUI
