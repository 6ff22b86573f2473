// The morvane command as a user runs it: statuses, exact output, and the files it leaves.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "Digest.h"
#include "Files.h"
#include "KnownDigests.h"
#include "Process.h"

using MorvaneTest::FileExists;
using MorvaneTest::ProcessOptions;
using MorvaneTest::ProcessResult;
using MorvaneTest::ReadFile;
using MorvaneTest::RunMorvane;
using MorvaneTest::ScratchDirectory;
using MorvaneTest::Sha256OfFile;

namespace {

std::string UsageText() {
    return "========================================================\n"
           "  Standalone PBR Raytrace Texture Baker (AO/Normal/Curv)\n"
           "========================================================\n\n"
           "Usage:\n"
           "  " +
           MorvaneTest::MorvaneExecutable() +
           " [options]\n\n"
           "Options:\n"
           "  --gui                     Launch native graphical user interface (Default if no "
           "args)\n"
           "  --bake-ao <out.ppm>       Bake ambient occlusion map (256x256, 64 rays)\n"
           "  --bake-normal <out.ppm>   Bake tangent space normal map\n"
           "  --bake-curv <out.ppm>     Bake mesh surface curvature map\n"
           "  --bake-all <prefix>       Bake full PBR map set (AO, normal, curvature, ID)\n\n";
}

TEST(CommandLine, HelpPrintsTheUsageTextAndSucceeds) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"--help", "--bake-ao", "x.ppm"}}) {
        const ProcessResult result = RunMorvane(arguments);
        EXPECT_EQ(result.status, 0) << arguments[0];
        EXPECT_EQ(result.out, UsageText());
        EXPECT_EQ(result.err, "");
    }
}

TEST(CommandLine, UnrecognisedOrIncompleteCommandsPrintUsageAndExitOne) {
    ScratchDirectory scratch;
    const std::vector<std::vector<std::string>> commands = {{"--GUI"},
                                                            {"--Help"},
                                                            {"bake"},
                                                            {""},
                                                            {"--bake-ao"},
                                                            {"--bake-normal"},
                                                            {"--bake-curv"},
                                                            {"--bake-all"},
                                                            {"--bake-ao=out.ppm"},
                                                            {"--bake-id", "out.ppm"}};
    ProcessOptions inScratch;
    inScratch.workingDirectory = scratch.Path().string();
    for (const auto& arguments : commands) {
        const ProcessResult result = RunMorvane(arguments, inScratch);
        EXPECT_EQ(result.status, 1) << arguments[0];
        EXPECT_EQ(result.out, UsageText()) << arguments[0];
        EXPECT_EQ(result.err, "") << arguments[0];
    }
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "");
}

TEST(CommandLine, SingleMapCommandsWriteTheirMapAndResultLine) {
    ScratchDirectory scratch;
    const struct {
        const char* command;
        const char* resultLine;
        const char* digest;
    } commands[] = {
        {"--bake-ao", "SUCCESS: Baked AO map to ", MorvaneTest::kAmbientOcclusionDigest},
        {"--bake-normal", "SUCCESS: Baked normal map to ", MorvaneTest::kNormalDigest},
        {"--bake-curv", "SUCCESS: Baked curvature map to ", MorvaneTest::kCurvatureDigest},
    };
    for (const auto& c : commands) {
        const std::string path = scratch / (std::string(c.command + 7) + ".ppm");
        const ProcessResult result = RunMorvane({c.command, path, "ignored"});
        EXPECT_EQ(result.status, 0) << c.command;
        EXPECT_EQ(result.out, c.resultLine + path + "\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(Sha256OfFile(path), c.digest) << c.command;
    }
    EXPECT_FALSE(FileExists(scratch / "ignored"));
}

TEST(CommandLine, ResultLineQuotesThePathAsGiven) {
    ScratchDirectory scratch;
    ProcessOptions inScratch;
    inScratch.workingDirectory = scratch.Path().string();
    std::filesystem::create_directory(scratch.Path() / "sub");
    const ProcessResult result = RunMorvane({"--bake-ao", "./sub/../ao map.ppm"}, inScratch);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "SUCCESS: Baked AO map to ./sub/../ao map.ppm\n");
    EXPECT_EQ(Sha256OfFile(scratch / "ao map.ppm"), MorvaneTest::kAmbientOcclusionDigest);
    // Control characters cannot drive the terminal or forge a second line (QuotePathTest).
    const ProcessResult hostile =
        RunMorvane({"--bake-ao", "x\x1b]0;pwn\a\nSUCCESS: fake"}, inScratch);
    EXPECT_EQ(hostile.status, 0);
    EXPECT_EQ(hostile.out,
              "SUCCESS: Baked AO map to 'x'$'\\033'']0;pwn'$'\\a\\n''SUCCESS: fake'\n");
}

TEST(CommandLine, UnwritablePathsAreReportedWithoutSuccess) {
    // One line on standard error, quoted (QuotePathTest), with the system's reason
    // (SavePpmTest), no result line, status 2, and nothing written.
    ScratchDirectory scratch;
    const std::string path = scratch / "missing/a\nb.ppm";
    const ProcessResult result = RunMorvane({"--bake-curv", path});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "morvane: cannot write '" + scratch / "missing/a'$'\\n''b.ppm'" +
                              ": No such file or directory\n");
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "");
}

TEST(CommandLine, StandardOutputThatCannotBeWrittenIsAFailure) {
    ASSERT_TRUE(MorvaneTest::IsCharacterDevice("/dev/full")) << "/dev/full is not a device here";
    ProcessOptions fullOutput;
    fullOutput.standardOutput = open("/dev/full", O_WRONLY);
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"--help"}, {"--nonsense"}}) {
        const ProcessResult result = RunMorvane(arguments, fullOutput);
        EXPECT_EQ(result.status, 2) << arguments[0];
        EXPECT_EQ(result.err, "morvane: cannot write standard output: No space left on device\n");
    }
    close(fullOutput.standardOutput);
    EXPECT_TRUE(MorvaneTest::IsCharacterDevice("/dev/full"));
}

TEST(CommandLine, DesktopModeWithoutDisplayOrTerminalReturnsAtOnce) {
    const std::string message =
        "Morvane Lab - PBR texture baker\n"
        "Run it from a console with --help to list the bake commands.\n";
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{}, {"--gui"}, {"--gui", "extra"}}) {
        ProcessOptions headless;
        headless.timeoutSeconds = 10;
        const ProcessResult result = RunMorvane(arguments, headless);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, message);
    }
    // An empty DISPLAY is no display; one that cannot be opened is said to be so.
    ProcessOptions emptyDisplay;
    emptyDisplay.environment = {"DISPLAY=", "WAYLAND_DISPLAY="};
    EXPECT_EQ(RunMorvane({"--gui"}, emptyDisplay).err, message);
    ProcessOptions noServer;
    noServer.environment = {"DISPLAY=:77"};
    EXPECT_EQ(RunMorvane({"--gui"}, noServer).err,
              "morvane: cannot show a window: cannot open display ':77'\n" + message);
}

}  // namespace
