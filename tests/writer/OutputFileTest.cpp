// The writer's handling of failures that a real disk rarely produces on demand, injected at its
// file system seam: a double that forwards to the real file system and breaks one operation.
// The faults run on every platform's real seam; the cases about modes, links and signals, and
// the real seam's signal holds, on POSIX systems.

#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>

#include "Files.h"
#include "OutputFile.h"

using Morvane::FileStatus;
using Morvane::OutputFile;
using MorvaneTest::ReadFile;
using MorvaneTest::ScratchDirectory;

namespace {

class FaultyFileSystem final : public Morvane::FileSystem {
public:
    int inspectError = 0;       // InspectOpen fails with this
    int unnamedError = 0;       // CreateUnnamed fails with this (EOPNOTSUPP: a named file)
    bool refuseBeside = false;  // no file can be created beside the target (EACCES)
    std::size_t longestWrite = ~std::size_t{0};
    int writeError = 0;  // every Write fails with this
    int reserveError = 0;
    int ownerError = 0;   // CompleteReplacement fails with this
    int closeError = 0;   // Close closes, then reports this
    int removeError = 0;  // Remove removes, then reports this
    int endingSignalAfterWrites = -1;
    int interruptedWrites = 0;  // the first writes fail with EINTR, as under a handled signal
    int prepareError = 0;       // PrepareReplacement fails with this
    int heldSets = 0;           // signal holds taken and not yet released
    int endingHolds = 0;        // of which hold the signals that end a process
    bool endingHeldWhileWriting = false;
    std::vector<std::uint64_t> randoms;  // handed out first, then the real ones
    std::function<void()> beforeCommit;  // run at the first CompleteReplacement
    int writes = 0;
    unsigned widestNewFileMode = 0;  // permission bits of every new file, or-ed together

    int OpenTarget(const std::string& path, bool& created) override {
        return real_.OpenTarget(path, created);
    }
    bool InspectOpen(int descriptor, FileStatus& status) override {
        return Passes(inspectError) && real_.InspectOpen(descriptor, status);
    }
    int StandardStreamFor(const FileStatus& status) override {
        return real_.StandardStreamFor(status);
    }
    bool InspectPath(const std::string& path, FileStatus& status) override {
        return real_.InspectPath(path, status);
    }
    bool Locate(const std::string& path, int descriptor, const FileStatus& status,
                Morvane::Folder& folder, std::string& name) override {
        return real_.Locate(path, descriptor, status, folder, name);
    }
    void CloseFolder(Morvane::Folder& folder) override { real_.CloseFolder(folder); }
    bool InspectEntry(const Morvane::Folder& folder, const std::string& name,
                      FileStatus& status) override {
        return real_.InspectEntry(folder, name, status);
    }
    int CreateUnnamed(const Morvane::Folder& folder) override {
        if (refuseBeside || unnamedError != 0) {
            errno = refuseBeside ? EACCES : unnamedError;
            return -1;
        }
        return Created(real_.CreateUnnamed(folder));
    }
    int CreateNamed(const Morvane::Folder& folder, const std::string& name) override {
        if (refuseBeside) {
            errno = EACCES;
            return -1;
        }
        return Created(real_.CreateNamed(folder, name));
    }
    bool Link(int descriptor, const Morvane::Folder& folder, const std::string& name) override {
        return real_.Link(descriptor, folder, name);
    }
    bool PrepareReplacement(int descriptor, const FileStatus& original) override {
        return Passes(prepareError) && real_.PrepareReplacement(descriptor, original);
    }
    bool CompleteReplacement(int descriptor, const FileStatus& original) override {
        if (beforeCommit) {
            std::exchange(beforeCommit, nullptr)();
        }
        return Passes(ownerError) && real_.CompleteReplacement(descriptor, original);
    }
    bool Rename(const Morvane::Folder& folder, const std::string& from,
                const std::string& to) override {
        return real_.Rename(folder, from, to);
    }
    bool Remove(const Morvane::Folder& folder, const std::string& name) override {
        return real_.Remove(folder, name) && Passes(removeError);
    }
    long Write(int descriptor, const unsigned char* data, std::size_t size) override {
        ++writes;
        endingHeldWhileWriting = endingHeldWhileWriting || endingHolds > 0;
        if (interruptedWrites > 0) {
            --interruptedWrites;
            errno = EINTR;
            return -1;
        }
        return Passes(writeError) ? real_.Write(descriptor, data, std::min(size, longestWrite))
                                  : -1;
    }
    long ReadAt(int descriptor, unsigned char* data, std::size_t size,
                std::uint64_t offset) override {
        return real_.ReadAt(descriptor, data, size, offset);
    }
    bool Reserve(int descriptor, std::uint64_t size) override {
        return Passes(reserveError) && real_.Reserve(descriptor, size);
    }
    bool Truncate(int descriptor, std::uint64_t size) override {
        return real_.Truncate(descriptor, size);
    }
    bool Close(int descriptor) override { return real_.Close(descriptor) && Passes(closeError); }
    std::uint64_t Random() override {
        if (randoms.empty()) {
            return real_.Random();
        }
        const std::uint64_t next = randoms.front();
        randoms.erase(randoms.begin());
        return next;
    }
    long ProcessId() override { return real_.ProcessId(); }
    SignalHold Hold(unsigned sets) override {
        ++heldSets;
        endingHolds += (sets & kEndingSignals) != 0 ? 1 : 0;
        return SignalHold{true, sets, false, {}};
    }
    void Release(SignalHold& hold) override {
        heldSets -= hold.active ? 1 : 0;
        endingHolds -= hold.active && (hold.sets & kEndingSignals) != 0 ? 1 : 0;
        hold.active = false;
    }
    bool EndingSignalPending(const SignalHold& hold) override {
        return hold.active && endingSignalAfterWrites >= 0 && writes >= endingSignalAfterWrites;
    }

private:
    // True when no failure is injected (`error` is 0); otherwise false with errno set to it.
    static bool Passes(int error) {
        errno = error;
        return error == 0;
    }

    int Created(int descriptor) {
        struct stat status {};
        if (descriptor >= 0 && fstat(descriptor, &status) == 0) {
            widestNewFileMode |= status.st_mode & 0777;
        }
        return descriptor;
    }

    Morvane::FileSystem& real_ = Morvane::SystemFileSystem();
};

// Every 64 KiB piece differs, so that a piece written twice or skipped shows.
const std::string kContent = [] {
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>('a' + (i / 997) % 26);
    }
    return content;
}();

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

// Running out of descriptors, inodes or memory, or space (and, where the system has quotas,
// quota).
constexpr int kResourceErrors[] = {EMFILE, ENFILE, ENOSPC, ENOMEM,
#if defined(EDQUOT)
                                   EDQUOT
#endif
};

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

TEST_F(WriterFaults, ShortAndInterruptedWritesAreResumed) {
    fs.longestWrite = 1000;
    fs.interruptedWrites = 3;
    ASSERT_TRUE(WriteThrough(fs, path)) << std::strerror(errno);
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

TEST_F(WriterFaults, FailedInspectionIsReported) {
    fs.inspectError = EIO;
    ExpectFailedAndKept(EIO);
}

TEST_F(WriterFaults, ResourceShortageIsReportedNeverWrittenInPlace) {
    for (const int error : kResourceErrors) {
        fs.unnamedError = error;
        ExpectFailedAndKept(error);
    }
}

TEST_F(WriterFaults, ASignalThatEndsTheProcessRemovesTheNamedFile) {
    fs.unnamedError = EOPNOTSUPP;
    fs.endingSignalAfterWrites = 1;
    ExpectFailedAndKept(EINTR);
}

TEST_F(WriterFaults, WhatCannotBeReplacedIsCopiedIntoTheOpenedFile) {
    // The system will not give the new file the target's owner.
    fs.ownerError = EPERM;
    std::uint64_t before = MorvaneTest::FileIdentity(path);
    ASSERT_TRUE(WriteThrough(fs, path)) << std::strerror(errno);
    EXPECT_EQ(ReadFile(path), kContent);
    EXPECT_EQ(MorvaneTest::FileIdentity(path), before);
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");

    // The name was given to another file meanwhile: that one is left alone.
    fs.ownerError = 0;
    MorvaneTest::WriteFile(path, "old map");
    before = MorvaneTest::FileIdentity(path);
    fs.beforeCommit = [this] {
        std::filesystem::rename(path, scratch / "moved.ppm");
        MorvaneTest::WriteFile(path, "someone else's");
    };
    ASSERT_TRUE(WriteThrough(fs, path)) << std::strerror(errno);
    EXPECT_EQ(ReadFile(path), "someone else's");
    EXPECT_EQ(ReadFile(scratch / "moved.ppm"), kContent);
    EXPECT_EQ(MorvaneTest::FileIdentity(scratch / "moved.ppm"), before);
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm moved.ppm");
}

TEST_F(WriterFaults, InPlaceReservesBeforeTouchingTheOldContents) {
    fs.refuseBeside = true;
    fs.reserveError = ENOSPC;
    ExpectFailedAndKept(ENOSPC);
    EXPECT_EQ(fs.writes, 0);
}

TEST_F(WriterFaults, InPlaceKeepsTheFileAndCutsALongerOldOne) {
    // A named replacement that cannot be the same file: in place, its signals given back.
    fs.unnamedError = EOPNOTSUPP;
    fs.prepareError = EPERM;
    ASSERT_TRUE(WriteThrough(fs, path));
    EXPECT_EQ(ReadFile(path), kContent);
    EXPECT_FALSE(fs.endingHeldWhileWriting) << "Ctrl-C would not end an in-place write";
    EXPECT_EQ(fs.heldSets, 0) << "a signal hold was not released";
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");

    fs.refuseBeside = true;
    MorvaneTest::WriteFile(path, std::string(300000, 'o'));
    const std::uint64_t before = MorvaneTest::FileIdentity(path);
    ASSERT_TRUE(WriteThrough(fs, path));
    EXPECT_EQ(ReadFile(path), kContent);
    EXPECT_EQ(MorvaneTest::FileIdentity(path), before);

    // A new file created in place stays once written, and is removed again when its write
    // fails.
    ASSERT_TRUE(WriteThrough(fs, scratch / "new.ppm"));
    EXPECT_EQ(ReadFile(scratch / "new.ppm"), kContent);
    ASSERT_TRUE(std::filesystem::remove(scratch / "new.ppm"));
    fs.writeError = ENOSPC;
    EXPECT_FALSE(WriteThrough(fs, scratch / "new.ppm"));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(MorvaneTest::FileExists(scratch / "new.ppm"));
}

// Modes, links and signals: POSIX only.
#if !defined(_WIN32)
TEST_F(WriterFaults, ReplacementIsPrivateUntilWholeNamedOrNot) {
    ASSERT_EQ(chmod(path.c_str(), 0664), 0);
    for (const int unnamedError : {0, EOPNOTSUPP}) {
        fs.unnamedError = unnamedError;
        const std::uint64_t before = MorvaneTest::FileIdentity(path);
        ASSERT_TRUE(WriteThrough(fs, path)) << std::strerror(errno);
        EXPECT_EQ(ReadFile(path), kContent);
        EXPECT_NE(MorvaneTest::FileIdentity(path), before) << "written in place, not replaced";
        EXPECT_EQ(fs.widestNewFileMode & 077, 0u) << "others could open the file being written";
        struct stat status {};
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0664u);
        EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");
    }
}

TEST_F(WriterFaults, FileBesideIsCreatedAfreshNeverThroughWhatIsThere) {
    // A leftover at the first name that the writer draws: a link to a file it must not touch.
    FaultyFileSystem probe;
    probe.unnamedError = fs.unnamedError = EOPNOTSUPP;
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
    const std::uint64_t before = MorvaneTest::FileIdentity(path);
    ASSERT_TRUE(WriteThrough(fs, path));
    EXPECT_EQ(ReadFile(path), kContent);
    EXPECT_NE(MorvaneTest::FileIdentity(path), before) << "replaced in place, not beside";
    EXPECT_EQ(ReadFile(victim), "victim");
    EXPECT_TRUE(MorvaneTest::FileExists(leftover));
}

// The real seam's signal holds, in a child process that they may end.
TEST(WriterSignals, TheCallersSignalsStayTheCallers) {
    if (std::getenv("MORVANE_EMULATED") != nullptr) {
        GTEST_SKIP() << "SKIPPED: qemu-user does not deliver signals to threads or run forked "
                        "threaded children as the kernel does; the native stages check this";
    }
    const pid_t child = fork();
    if (child == 0) {
        static volatile sig_atomic_t handled = 0;
        // The caller blocks SIGINT and has one pending; it ignores SIGUSR1 and handles SIGUSR2.
        sigset_t callers;
        sigemptyset(&callers);
        sigaddset(&callers, SIGINT);
        pthread_sigmask(SIG_SETMASK, &callers, nullptr);
        raise(SIGINT);
        signal(SIGUSR1, SIG_IGN);
        signal(SIGUSR2, [](int) { handled = 1; });

        Morvane::FileSystem& fs = Morvane::SystemFileSystem();
        auto hold =
            fs.Hold(Morvane::FileSystem::kEndingSignals | Morvane::FileSystem::kQuietSignals);
        raise(SIGUSR1);
        raise(SIGUSR2);
        raise(SIGPIPE);
        hold.quietSignalMayHaveCome = true;  // as after a write that failed with EPIPE
        if (fs.EndingSignalPending(hold)) {
            _exit(1);  // a signal the caller blocks, ignores or handles stopped the write
        }
        fs.Release(hold);
        sigset_t mask;
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        for (int signal = 1; signal < NSIG; ++signal) {
            if (sigismember(&mask, signal) != (signal == SIGINT ? 1 : 0)) {
                _exit(2);  // the caller's mask is not restored exactly
            }
        }
        if (handled != 1) {
            _exit(3);  // the handled signal was lost
        }
        // A signal that ends the process stops the write, and ends it once released.
        hold = fs.Hold(Morvane::FileSystem::kEndingSignals);
        raise(SIGTERM);
        if (!fs.EndingSignalPending(hold)) {
            _exit(4);
        }
        fs.Release(hold);
        _exit(5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM)
        << "exited with " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

TEST(WriterSignals, ASignalToAnotherThreadLeavesNothingBehind) {
    if (std::getenv("MORVANE_EMULATED") != nullptr) {
        GTEST_SKIP() << "SKIPPED: qemu-user does not deliver signals to threads or run forked "
                        "threaded children as the kernel does; the native stages check this";
    }
    ScratchDirectory scratch;
    const std::string path = scratch / "map.ppm";
    MorvaneTest::WriteFile(path, "old map");
    const pid_t child = fork();
    if (child == 0) {
        // The main thread blocks SIGTERM, as a program that waits for it elsewhere would; the
        // second thread takes it and the process ends in the middle of the write.
        sigset_t terminate;
        sigemptyset(&terminate);
        sigaddset(&terminate, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &terminate, nullptr);
        std::thread other([&terminate] {
            pthread_sigmask(SIG_UNBLOCK, &terminate, nullptr);
            pause();
        });
        OutputFile file;
        if (file.Open(path, kContent.size()) &&
            file.Write(reinterpret_cast<const unsigned char*>(kContent.data()), 1000)) {
            kill(getpid(), SIGTERM);
        }
        other.join();
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(ReadFile(path), "old map");
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");
}

#endif  // !defined(_WIN32)

}  // namespace
