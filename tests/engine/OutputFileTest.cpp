// The writer's handling of failures that a real disk rarely produces on demand, injected at its
// file system seam: a double that forwards to the real file system and breaks one operation.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Files.h"
#include "OutputFile.h"

using Morvane::FileStatus;
using Morvane::OutputFile;
using MorvaneTest::ReadFile;
using MorvaneTest::ScratchDirectory;

namespace {

class FaultyFileSystem final : public Morvane::FileSystem {
public:
    int inspectError = 0;       // Inspect fails with this
    bool refuseBeside = false;  // no file can be created beside the target (EACCES)
    std::size_t longestWrite = ~std::size_t{0};
    int writeError = 0;  // every Write fails with this
    int reserveError = 0;
    int closeError = 0;   // Close closes, then reports this
    int removeError = 0;  // Remove removes, then reports this
    int interruptAfterWrites = -1;
    std::vector<std::uint64_t> randoms;  // handed out first, then the real ones
    int writes = 0;

    bool Inspect(const std::string& path, FileStatus& status) override {
        return Fail(inspectError) && real_.Inspect(path, status);
    }
    bool ReadLink(const std::string& path, std::string& target) override {
        return real_.ReadLink(path, target);
    }
    int OpenExisting(const std::string& path) override { return real_.OpenExisting(path); }
    int CreateExclusive(const std::string& path) override {
        if (refuseBeside && path.find(".morvane-") != std::string::npos) {
            errno = EACCES;
            return -1;
        }
        return real_.CreateExclusive(path);
    }
    bool InspectOpen(int descriptor, FileStatus& status) override {
        return real_.InspectOpen(descriptor, status);
    }
    bool MatchIdentity(int descriptor, const FileStatus& original) override {
        return real_.MatchIdentity(descriptor, original);
    }
    long Write(int descriptor, const unsigned char* data, std::size_t size) override {
        ++writes;
        return Fail(writeError) ? real_.Write(descriptor, data, std::min(size, longestWrite)) : -1;
    }
    bool Reserve(int descriptor, std::uint64_t size) override {
        return Fail(reserveError) && real_.Reserve(descriptor, size);
    }
    bool Truncate(int descriptor, std::uint64_t size) override {
        return real_.Truncate(descriptor, size);
    }
    bool Close(int descriptor) override { return real_.Close(descriptor) && Fail(closeError); }
    bool Rename(const std::string& from, const std::string& to) override {
        return real_.Rename(from, to);
    }
    bool Remove(const std::string& path) override {
        return real_.Remove(path) && Fail(removeError);
    }
    std::uint64_t Random() override {
        if (randoms.empty()) {
            return real_.Random();
        }
        const std::uint64_t next = randoms.front();
        randoms.erase(randoms.begin());
        return next;
    }
    unsigned HoldSignals(unsigned signals) override { return signals; }
    void ReleaseSignals(unsigned) override {}
    bool InterruptionPending() override {
        return interruptAfterWrites >= 0 && writes >= interruptAfterWrites;
    }

private:
    // False with errno set when `error` is not 0.
    static bool Fail(int error) {
        errno = error;
        return error == 0;
    }

    Morvane::FileSystem& real_ = Morvane::SystemFileSystem();
};

const std::string kContent(200000, 'n');

// Writes kContent to `path` through `fileSystem` in 64 KiB pieces, as the PPM writer does.
bool WriteThrough(Morvane::FileSystem& fileSystem, const std::string& path) {
    OutputFile file(fileSystem);
    if (!file.Open(path, kContent.size())) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(kContent.data());
    for (std::size_t at = 0; at < kContent.size(); at += 65536) {
        if (!file.Write(bytes + at, std::min<std::size_t>(65536, kContent.size() - at))) {
            return false;
        }
    }
    return file.Commit();
}

ino_t InodeOf(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_ino;
}

struct WriterFaults : ::testing::Test {
    ScratchDirectory scratch;
    const std::string path = scratch / "map.ppm";
    FaultyFileSystem fs;

    void SetUp() override { MorvaneTest::WriteFile(path, "old map"); }

    // The write failed with `error`, the old file is untouched and nothing else is left.
    void ExpectFailedAndKept(int error) {
        EXPECT_FALSE(WriteThrough(fs, path));
        EXPECT_EQ(errno, error) << std::strerror(errno);
        EXPECT_EQ(ReadFile(path), "old map");
        EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");
    }
};

TEST_F(WriterFaults, ShortWritesAreResumed) {
    fs.longestWrite = 1000;
    ASSERT_TRUE(WriteThrough(fs, path));
    EXPECT_EQ(ReadFile(path), kContent);
}

TEST_F(WriterFaults, FailedCloseIsNotRenamedIntoPlace) {
    fs.closeError = EIO;
    ExpectFailedAndKept(EIO);
}

TEST_F(WriterFaults, FailedWriteKeepsItsReasonThroughCleanup) {
    fs.writeError = ENOSPC;
    fs.removeError = EPERM;
    fs.closeError = EBADF;
    ExpectFailedAndKept(ENOSPC);
}

TEST_F(WriterFaults, FailedInspectionIsReportedNotTakenAsMissing) {
    fs.inspectError = EIO;
    ExpectFailedAndKept(EIO);
}

TEST_F(WriterFaults, InterruptionRemovesTheFileBeside) {
    fs.interruptAfterWrites = 1;
    ExpectFailedAndKept(EINTR);
}

TEST_F(WriterFaults, FileBesideIsCreatedAfreshNeverThroughWhatIsThere) {
    // A leftover at the first name that the writer draws: a link to a file it must not touch.
    FaultyFileSystem probe;
    probe.randoms = {7};
    probe.writeError = EIO;
    const std::string victim = scratch / "victim";
    MorvaneTest::WriteFile(victim, "victim");
    std::string leftover;
    {
        OutputFile file(probe);
        ASSERT_TRUE(file.Open(path, 1));
        for (const auto& entry : std::filesystem::directory_iterator(scratch.Path())) {
            if (entry.path().filename().string().rfind(".morvane-", 0) == 0) {
                leftover = entry.path().string();
            }
        }
    }
    ASSERT_FALSE(leftover.empty());
    ASSERT_EQ(symlink(victim.c_str(), leftover.c_str()), 0);

    fs.randoms = {7, 8};
    const ino_t before = InodeOf(path);
    ASSERT_TRUE(WriteThrough(fs, path));
    EXPECT_EQ(ReadFile(path), kContent);
    EXPECT_NE(InodeOf(path), before) << "replaced in place, not beside";
    EXPECT_EQ(ReadFile(victim), "victim");
    EXPECT_TRUE(MorvaneTest::FileExists(leftover));
}

TEST_F(WriterFaults, InPlaceReservesBeforeTouchingTheOldContents) {
    fs.refuseBeside = true;
    fs.reserveError = ENOSPC;
    ExpectFailedAndKept(ENOSPC);
    EXPECT_EQ(fs.writes, 0);
}

TEST_F(WriterFaults, InPlaceKeepsTheFileAndCutsALongerOldOne) {
    fs.refuseBeside = true;
    MorvaneTest::WriteFile(path, std::string(300000, 'o'));
    const ino_t before = InodeOf(path);
    ASSERT_TRUE(WriteThrough(fs, path));
    EXPECT_EQ(ReadFile(path), kContent);
    EXPECT_EQ(InodeOf(path), before);

    // A new file created in place is removed again when its write fails.
    fs.writeError = ENOSPC;
    EXPECT_FALSE(WriteThrough(fs, scratch / "new.ppm"));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(MorvaneTest::FileExists(scratch / "new.ppm"));
}

}  // namespace
