// The --bake-all command: four maps under one prefix.

#include <gtest/gtest.h>

#include "Digest.h"
#include "Files.h"
#include "KnownDigests.h"
#include "Process.h"

using MorvaneTest::ProcessOptions;
using MorvaneTest::ProcessResult;
using MorvaneTest::ScratchDirectory;

namespace {

const std::pair<const char*, const char*> kSet[] = {
    {"_ao.ppm", MorvaneTest::kAmbientOcclusionDigest},
    {"_normal.ppm", MorvaneTest::kNormalDigest},
    {"_curvature.ppm", MorvaneTest::kCurvatureDigest},
    {"_id.ppm", MorvaneTest::kMaterialIdDigest},
};

ProcessResult BakeAll(const std::string& prefix, const std::string& workingDirectory = "") {
    ProcessOptions options;
    options.workingDirectory = workingDirectory;
    return MorvaneTest::RunMorvane({"--bake-all", prefix}, options);
}

void ExpectFullSet(const std::string& prefixOnDisk) {
    for (const auto& [suffix, digest] : kSet) {
        EXPECT_EQ(MorvaneTest::Sha256OfFile(prefixOnDisk + suffix), digest) << suffix;
    }
}

TEST(FullSet, WritesFourMapsUnderThePrefixAsGiven) {
    ScratchDirectory scratch;
    const std::string prefix = scratch / "set";
    for (int round = 0; round < 2; ++round) {  // new files, then replacing them
        const ProcessResult result = BakeAll(prefix);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out,
                  "SUCCESS: Baked complete 4-channel PBR texture set to " + prefix + "_*.ppm\n");
        EXPECT_EQ(result.err, "");
        ExpectFullSet(prefix);
    }
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()),
              "set_ao.ppm set_curvature.ppm set_id.ppm set_normal.ppm");

    // An empty prefix writes into the working folder, one ending in / into that folder, and
    // one with control characters is quoted as the single-map lines quote paths.
    std::filesystem::create_directory(scratch.Path() / "maps");
    const std::pair<std::string, std::string> prefixes[] = {
        {"", "_*.ppm"}, {"maps/", "maps/_*.ppm"}, {"maps/a\nb", "'maps/a'$'\\n''b'_*.ppm"}};
    for (const auto& [given, shown] : prefixes) {
        const ProcessResult result = BakeAll(given, scratch.Path().string());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out,
                  "SUCCESS: Baked complete 4-channel PBR texture set to " + shown + "\n");
        ExpectFullSet(scratch / given);
    }
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path() / "maps"),
              "_ao.ppm _curvature.ppm _id.ppm _normal.ppm a\nb_ao.ppm a\nb_curvature.ppm "
              "a\nb_id.ppm a\nb_normal.ppm");
}

TEST(FullSet, EveryFileIsAttemptedAndEachFailureReported) {
    ScratchDirectory scratch;
    const std::string prefix = scratch / "set";
    std::filesystem::create_directory(prefix + "_normal.ppm");  // cannot be replaced by a file
    MorvaneTest::WriteFile(prefix + "_id.ppm", "old");
    const ProcessResult result = BakeAll(prefix);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "morvane: cannot write '" + prefix + "_normal.ppm': Is a directory\n");
    EXPECT_EQ(MorvaneTest::Sha256OfFile((prefix + "_ao.ppm")), kSet[0].second);
    EXPECT_EQ(MorvaneTest::Sha256OfFile((prefix + "_curvature.ppm")), kSet[2].second);
    EXPECT_EQ(MorvaneTest::Sha256OfFile((prefix + "_id.ppm")), kSet[3].second);

    // In a missing folder, each of the four fails and nothing is written.
    const std::string missing = scratch / "missing/set";
    std::string expected;
    for (const auto& [suffix, digest] : kSet) {
        expected += "morvane: cannot write '" + missing + suffix + "': No such file or directory\n";
    }
    EXPECT_EQ(BakeAll(missing).err, expected);
    EXPECT_FALSE(MorvaneTest::FileExists(scratch / "missing"));
}

}  // namespace
