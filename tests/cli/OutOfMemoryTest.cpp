// The command line when memory runs out, in a bake or around it, driven in-process with an
// allocator that refuses large blocks.

#include <gtest/gtest.h>

#include "Driver.h"
#include "FailingAllocations.h"
#include "Files.h"

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome RunWithoutMemory(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    MorvaneTest::RefuseAllocationsFrom(16 * 1024);  // the streaming buffer is 80 KiB
    const int status = RunCommandLine(static_cast<int>(arguments.size()), argv.data());
    MorvaneTest::RestoreAllocations();
    Outcome outcome{status, testing::internal::GetCapturedStdout(), ""};
    outcome.err = testing::internal::GetCapturedStderr();
    return outcome;
}

TEST(OutOfMemory, BakeCommandsReportItAndWriteNothing) {
    MorvaneTest::ScratchDirectory scratch;
    const std::vector<std::vector<std::string>> commands = {
        {"morvane", "--bake-ao", scratch / "ao.ppm"},
        {"morvane", "--bake-normal", scratch / "normal.ppm"},
        {"morvane", "--bake-curv", scratch / "curv.ppm"},
        {"morvane", "--bake-all", scratch / "set"},
        // Paths too long to copy: memory runs out before any bake, in the command itself.
        {"morvane", "--bake-ao", scratch / std::string(20000, 'p')},
        {"morvane", "--bake-all", scratch / std::string(20000, 'p')},
    };
    for (const auto& command : commands) {
        const Outcome outcome = RunWithoutMemory(command);
        EXPECT_EQ(outcome.status, 2) << command[1];
        EXPECT_EQ(outcome.out, "") << command[1];
        EXPECT_EQ(outcome.err, "morvane: out of memory\n") << command[1];
    }
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "");
}

}  // namespace
