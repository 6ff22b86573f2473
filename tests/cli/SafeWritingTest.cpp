// Where and how the morvane command writes its files, on the real binary: it writes PATH
// wherever `cat map > PATH` would, with the same effect on the file, and leaves nothing behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "Digest.h"
#include "Files.h"
#include "KnownDigests.h"
#include "Process.h"

using MorvaneTest::ProcessOptions;
using MorvaneTest::ProcessResult;
using MorvaneTest::ReadFile;
using MorvaneTest::ScratchDirectory;

namespace {

constexpr int kNobody = 65534;

ProcessResult Morvane(const std::vector<std::string>& arguments,
                      const ProcessOptions& options = {}) {
    return MorvaneTest::RunProcess(MorvaneTest::MorvaneExecutable(), arguments, options);
}

std::string Digest(const std::string& path) {
    return MorvaneTest::Sha256Hex(ReadFile(path));
}

struct stat StatusOf(const std::string& path) {
    struct stat status {};
    lstat(path.c_str(), &status);
    return status;
}

// The curvature map's bytes, as a file holds them.
std::string CurvatureMap() {
    ScratchDirectory scratch;
    Morvane({"--bake-curv", scratch / "map.ppm"});
    return ReadFile(scratch / "map.ppm");
}

// The name "nobody" for the permission cases, which need root to set up.
ProcessOptions AsNobody() {
    ProcessOptions options;
    options.user = kNobody;
    options.group = kNobody;
    return options;
}

#define SKIP_UNLESS_ROOT()                                                                 \
    if (geteuid() != 0) {                                                                  \
        GTEST_SKIP() << "needs root to set up files of another user";                      \
    }                                                                                      \
    if (Morvane({"--help"}, AsNobody()).status != 0) {                                     \
        GTEST_SKIP() << "the user nobody cannot run " << MorvaneTest::MorvaneExecutable(); \
    }

TEST(SafeWriting, StandardStreamsAreWrittenWhereTheyStand) {
    ScratchDirectory scratch;
    const std::string map = CurvatureMap();

    // Appended to a log opened with >>, and between what came before and after.
    const std::string log = scratch / "log.txt";
    MorvaneTest::WriteFile(log, "log\n");
    ProcessOptions appending;
    appending.standardOutput = open(log.c_str(), O_WRONLY | O_APPEND);
    const ProcessResult appended = Morvane({"--bake-curv", "/dev/stdout"}, appending);
    close(appending.standardOutput);
    EXPECT_EQ(appended.status, 0);
    EXPECT_EQ(appended.err, "SUCCESS: Baked curvature map to /dev/stdout\n");
    EXPECT_EQ(ReadFile(log), "log\n" + map);

    const std::string framed = scratch / "framed";
    ProcessOptions atOffset;
    atOffset.standardOutput = open(framed.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(write(atOffset.standardOutput, "header\n", 7), 7);
    for (const char* path : {"/dev/fd/1", "/proc/self/fd/1"}) {
        EXPECT_EQ(Morvane({"--bake-curv", path}, atOffset).status, 0) << path;
    }
    ASSERT_EQ(write(atOffset.standardOutput, "trailer\n", 8), 8);
    close(atOffset.standardOutput);
    EXPECT_EQ(ReadFile(framed), "header\n" + map + map + "trailer\n");

    // Into a pipe the stream holds exactly the image; the result line goes to standard error.
    const ProcessResult piped = Morvane({"--bake-curv", "/dev/stdout"});
    EXPECT_EQ(piped.status, 0);
    EXPECT_TRUE(piped.out == map) << "standard output is not exactly the image";
    EXPECT_EQ(piped.err, "SUCCESS: Baked curvature map to /dev/stdout\n");

    // With standard output closed there is nothing to write through, and nothing is replaced.
    ProcessOptions closed;
    closed.standardOutput = ProcessOptions::kClosed;
    const ProcessResult none = Morvane({"--bake-curv", "/dev/stdout"}, closed);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "morvane: cannot write '/dev/stdout': Bad file descriptor\n");
    EXPECT_TRUE(S_ISLNK(StatusOf("/dev/stdout").st_mode));
}

TEST(SafeWriting, AReaderThatLeftIsABrokenPipe) {
    ScratchDirectory scratch;
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    ProcessOptions toClosedPipe;
    toClosedPipe.standardOutput = ends[1];
    const ProcessResult single = Morvane({"--bake-ao", "/dev/stdout"}, toClosedPipe);
    EXPECT_EQ(single.signal, 0);
    EXPECT_EQ(single.status, 2);
    EXPECT_EQ(single.err, "morvane: cannot write '/dev/stdout': Broken pipe\n");

    // --bake-all still writes the other files when one of them goes to the pipe.
    const std::string prefix = scratch / "set";
    ASSERT_EQ(symlink("/dev/stdout", (prefix + "_ao.ppm").c_str()), 0);
    const ProcessResult all = Morvane({"--bake-all", prefix}, toClosedPipe);
    close(ends[1]);
    EXPECT_EQ(all.status, 2);
    EXPECT_EQ(all.err, "morvane: cannot write '" + prefix + "_ao.ppm': Broken pipe\n");
    EXPECT_EQ(Digest(prefix + "_normal.ppm"), MorvaneTest::kNormalDigest);
    EXPECT_EQ(Digest(prefix + "_curvature.ppm"), MorvaneTest::kCurvatureDigest);
    EXPECT_EQ(Digest(prefix + "_id.ppm"), MorvaneTest::kMaterialIdDigest);
}

TEST(SafeWriting, LinksAreFollowedNeverReplaced) {
    ScratchDirectory scratch;
    ASSERT_EQ(symlink("made.ppm", (scratch / "dangling").c_str()), 0);
    EXPECT_EQ(Morvane({"--bake-ao", scratch / "dangling"}).status, 0);
    EXPECT_TRUE(S_ISLNK(StatusOf(scratch / "dangling").st_mode));
    EXPECT_EQ(Digest(scratch / "made.ppm"), MorvaneTest::kAmbientOcclusionDigest);

    ASSERT_EQ(symlink("missing/map.ppm", (scratch / "unfollowable").c_str()), 0);
    ASSERT_EQ(symlink("loop", (scratch / "loop").c_str()), 0);
    const std::pair<std::string, std::string> failures[] = {
        {"unfollowable", "No such file or directory"},
        {"loop", "Too many levels of symbolic links"},
    };
    for (const auto& [name, reason] : failures) {
        const ProcessResult result = Morvane({"--bake-ao", scratch / name});
        EXPECT_EQ(result.status, 2) << name;
        EXPECT_EQ(result.err, "morvane: cannot write '" + scratch / name + "': " + reason + "\n");
        EXPECT_TRUE(S_ISLNK(StatusOf(scratch / name).st_mode)) << name;
    }
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "dangling loop made.ppm unfollowable");
}

TEST(SafeWriting, AnyValidNameCanBeWritten) {
    ScratchDirectory scratch;
    const std::string longest = scratch / std::string(251, 'n') + ".ppm";  // 255 bytes
    EXPECT_EQ(Morvane({"--bake-ao", longest}).status, 0);
    EXPECT_EQ(Digest(longest), MorvaneTest::kAmbientOcclusionDigest);
}

TEST(SafeWriting, ReplacingKeepsTheFilesIdentity) {
    SKIP_UNLESS_ROOT();
    ScratchDirectory scratch;
    // Another user's file with its own mode; one with an extended attribute; one with a
    // second name.
    const std::string theirs = scratch / "theirs.ppm";
    const std::string attributed = scratch / "attributed.ppm";
    const std::string linked = scratch / "linked.ppm";
    for (const std::string& path : {theirs, attributed, linked}) {
        MorvaneTest::WriteFile(path, "old");
    }
    ASSERT_EQ(chown(theirs.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(theirs.c_str(), 0640), 0);
    const bool attributes = setxattr(attributed.c_str(), "user.origin", "test", 4, 0) == 0;
    ASSERT_EQ(link(linked.c_str(), (scratch / "second-name").c_str()), 0);

    for (const std::string& path : {theirs, attributed, linked}) {
        const struct stat before = StatusOf(path);
        ASSERT_EQ(Morvane({"--bake-ao", path}).status, 0);
        const struct stat after = StatusOf(path);
        EXPECT_EQ(after.st_uid, before.st_uid) << path;
        EXPECT_EQ(after.st_gid, before.st_gid) << path;
        EXPECT_EQ(after.st_mode, before.st_mode) << path;
        EXPECT_EQ(Digest(path), MorvaneTest::kAmbientOcclusionDigest);
    }
    EXPECT_EQ(Digest(scratch / "second-name"), MorvaneTest::kAmbientOcclusionDigest);
    if (attributes) {
        char value[8] = {};
        EXPECT_EQ(getxattr(attributed.c_str(), "user.origin", value, sizeof value), 4);
    } else {
        std::cout << "extended attributes are not supported here: not checked\n";
    }

    // A set-id file is written in place, as the shell writes it: never left owned by anyone
    // but its owner.
    const std::string program = scratch / "program";
    MorvaneTest::WriteFile(program, "old");
    ASSERT_EQ(chown(program.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(program.c_str(), 04755), 0);
    const ino_t programInode = StatusOf(program).st_ino;
    ASSERT_EQ(Morvane({"--bake-ao", program}).status, 0);
    EXPECT_EQ(StatusOf(program).st_uid, static_cast<uid_t>(kNobody));
    EXPECT_EQ(StatusOf(program).st_ino, programInode);

    // Another user's file in a sticky folder keeps its owner too.
    std::filesystem::create_directory(scratch / "sticky");
    ASSERT_EQ(chmod((scratch / "sticky").c_str(), 01777), 0);
    const std::string shared = scratch / "sticky/map.ppm";
    MorvaneTest::WriteFile(shared, "old");
    ASSERT_EQ(chown(shared.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(Morvane({"--bake-ao", shared}).status, 0);
    EXPECT_EQ(StatusOf(shared).st_uid, static_cast<uid_t>(kNobody));
    EXPECT_EQ(Digest(shared), MorvaneTest::kAmbientOcclusionDigest);
}

TEST(SafeWriting, PermissionsAreThoseOfTheShell) {
    SKIP_UNLESS_ROOT();
    ScratchDirectory scratch;
    ASSERT_EQ(chmod(scratch.Path().c_str(), 0755), 0);

    // A writable file in a folder the user cannot write: written in place.
    const std::string inLockedFolder = scratch / "theirs-folder.ppm";
    MorvaneTest::WriteFile(inLockedFolder, "old");
    ASSERT_EQ(chown(inLockedFolder.c_str(), kNobody, kNobody), 0);
    const ProcessResult written = Morvane({"--bake-ao", inLockedFolder}, AsNobody());
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(Digest(inLockedFolder), MorvaneTest::kAmbientOcclusionDigest);

    // A file the user may not write, in a folder the user may: refused, as the shell does.
    const std::string folder = scratch / "mine";
    std::filesystem::create_directory(folder);
    ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
    const std::string readOnly = folder + "/read-only.ppm";
    MorvaneTest::WriteFile(readOnly, "keep");
    ASSERT_EQ(chown(readOnly.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    const ProcessResult refused = Morvane({"--bake-ao", readOnly}, AsNobody());
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "morvane: cannot write '" + readOnly + "': Permission denied\n");
    EXPECT_EQ(ReadFile(readOnly), "keep");
    EXPECT_EQ(MorvaneTest::ListDirectory(folder), "read-only.ppm");
}

TEST(SafeWriting, AMountedFileIsWrittenInPlace) {
    ScratchDirectory scratch;
    const std::string source = scratch / "source.ppm";
    const std::string mounted = scratch / "mounted.ppm";
    MorvaneTest::WriteFile(source, "old");
    MorvaneTest::WriteFile(mounted, "");
    const std::string script =
        "mount --bind \"$1\" \"$2\" || exit 99; exec \"$3\" --bake-ao \"$2\"";
    const ProcessResult result = MorvaneTest::RunProcess(
        "/usr/bin/unshare",
        {"--mount", "sh", "-c", script, "sh", source, mounted, MorvaneTest::MorvaneExecutable()});
    if (result.status == 99 || result.status == 1) {
        GTEST_SKIP() << "cannot bind-mount a file here: " << result.err;
    }
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Digest(source), MorvaneTest::kAmbientOcclusionDigest);
}

TEST(SafeWriting, InterruptionsRemoveTheUnfinishedFile) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ScratchDirectory scratch;
        const std::string path = scratch / "map.ppm";
        MorvaneTest::WriteFile(path, "old");
        ProcessOptions interrupted;
        // Under AddressSanitizer its runtime must let the preloaded library come first.
        const char* asan = std::getenv("ASAN_OPTIONS");
        interrupted.environment = {
            "LD_PRELOAD=" MORVANE_SIGNAL_ON_WRITE, "MORVANE_TEST_SIGNAL=" + std::to_string(signal),
            std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"};
        const ProcessResult result = Morvane({"--bake-ao", path}, interrupted);
        EXPECT_EQ(result.signal, signal) << "ended with status " << result.status;
        EXPECT_EQ(ReadFile(path), "old");
        EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");
    }
}

}  // namespace
