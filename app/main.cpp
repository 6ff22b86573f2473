#include <string>
#include <vector>

#include "Driver.h"
#include "SystemText.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& argument : arguments) {
        utf8Argv.push_back(argument.data());
    }
    utf8Argv.push_back(nullptr);
    return RunCommandLine(static_cast<int>(arguments.size()), utf8Argv.data());
}
