// The command line when memory runs out while baking, driven in-process with an allocator
// that refuses large blocks.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "Driver.h"
#include "Files.h"

namespace {

bool refuseLargeBlocks = false;
constexpr std::size_t kLargeBlock = 16 * 1024;  // the streaming buffer is 80 KiB

}  // namespace

void* operator new(std::size_t size) {
    if (refuseLargeBlocks && size >= kLargeBlock) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

// The replaced new takes its blocks from malloc, so free is the matching release.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

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
    refuseLargeBlocks = true;
    const int status = RunCommandLine(static_cast<int>(arguments.size()), argv.data());
    refuseLargeBlocks = false;
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
