#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include <morvane/BakeEngine.h>
#include "EveryBake.h"
#include "FailingAllocations.h"
#include "Files.h"

using Morvane::BakeEngine;
using Morvane::TextureMap;
using MorvaneTest::ReadFile;
using MorvaneTest::ScratchDirectory;

namespace {

TextureMap Filled(int width, int height, std::uint32_t pixel) {
    return TextureMap{width, height,
                      std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, pixel)};
}

// The file of `map`, encoded independently of the writer: the header, then red, green and
// blue of every pixel.
std::string EncodedByHand(const TextureMap& map) {
    std::string file =
        "P6\n" + std::to_string(map.width) + " " + std::to_string(map.height) + "\n255\n";
    for (const std::uint32_t pixel : map.pixels) {
        file += {char(pixel), char(pixel >> 8), char(pixel >> 16)};
    }
    return file;
}

TEST(SavePpm, WritesTheHeaderThenRedGreenAndBlueOfEveryPixel) {
    // Sizes within a chunk, across chunks of both sizes and with pixels straddling their
    // ends, and without pixels; every pixel and alpha differ.
    for (const auto& [width, height] : {std::pair{256, 256}, {3, 5}, {1001, 333}, {0, 7}, {0, 0}}) {
        TextureMap map = Filled(width, height, 0);
        for (std::size_t i = 0; i < map.pixels.size(); ++i) {
            map.pixels[i] = static_cast<std::uint32_t>(i * 2654435761u);
        }
        EXPECT_TRUE(MorvaneTest::PpmBytes(map) == EncodedByHand(map)) << width << " x " << height;
    }
}

TEST(SavePpm, StreamedSunkAndWholeMapsAreTheSameBytesThroughOneSmallBuffer) {
    ScratchDirectory scratch;
    std::vector<std::uint32_t> buffer;
    for (const auto& [name, kind] : MorvaneTest::kEveryBake) {
        for (const auto& [width, height] :
             {std::pair{256, 256}, {1, 1}, {99, 101}, {700, 500}, {0, 5}, {5, 0}, {20000, 3}}) {
            SCOPED_TRACE(testing::Message() << name << " " << width << " x " << height);
            const Morvane::MapRequest request{kind, width, height, 2.5f};
            ASSERT_TRUE(BakeEngine::SavePpm(scratch / "map.ppm", request, buffer));
            // A chunk of file bytes (256 KiB at most) and a band of 16 KiB or one row.
            EXPECT_LE(buffer.size(), 65536 + std::max<std::size_t>(4096, width));
            const std::string file = ReadFile(scratch / "map.ppm");
            std::string fromRequest;
            std::string fromMap;
            ASSERT_TRUE(BakeEngine::EncodePpm(
                request,
                [&](const unsigned char* bytes, std::size_t size) {
                    fromRequest.append(reinterpret_cast<const char*>(bytes), size);
                    return true;
                },
                buffer));
            ASSERT_TRUE(BakeEngine::EncodePpm(
                MorvaneTest::BakeWhole(request), [&](const unsigned char* bytes, std::size_t size) {
                    fromMap.append(reinterpret_cast<const char*>(bytes), size);
                    return true;
                }));
            EXPECT_TRUE(fromRequest == file);
            EXPECT_TRUE(fromMap == file);
        }
    }
    EXPECT_FALSE(
        BakeEngine::SavePpm(scratch / "bad.ppm", {Morvane::MapKind::Normal, -1, 3}, buffer));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");
    // A sink that refuses stops the encoding at once.
    int chunks = 0;
    errno = 0;
    EXPECT_FALSE(BakeEngine::EncodePpm(
        {Morvane::MapKind::Normal, 1000, 1000, 2.5f},
        [&chunks](const unsigned char*, std::size_t) {
            ++chunks;
            errno = ECONNRESET;
            return false;
        },
        buffer));
    EXPECT_EQ(chunks, 1);
    EXPECT_EQ(errno, ECONNRESET);
}

TEST(SavePpm, RefusesAMapWhosePixelsDoNotMatchItsSizes) {
    ScratchDirectory scratch;
    TextureMap map = Filled(4, 4, 0xFF000000u);
    const auto sink = [](const unsigned char*, std::size_t) { return true; };
    for (const int extra : {-1, 1}) {  // one pixel less, one more
        map.pixels.resize(16 + extra);
        errno = 0;
        EXPECT_FALSE(BakeEngine::SavePpm(scratch / "bad.ppm", map));
        EXPECT_EQ(errno, EINVAL);
        errno = 0;
        EXPECT_FALSE(BakeEngine::EncodePpm(map, sink));
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_FALSE(BakeEngine::SavePpm(scratch / "bad.ppm", TextureMap{-1, 3, {}}));
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "");
}

TEST(SavePpm, ReplacesAnExistingFileAndLeaksNoDescriptor) {
    ScratchDirectory scratch;
    const std::string path = scratch / "map.ppm";
    MorvaneTest::WriteFile(path, std::string(500000, 'x'));
    ASSERT_TRUE(BakeEngine::SavePpm(path, Filled(2, 1, 0xFF030201u)));
    EXPECT_EQ(ReadFile(path), "P6\n2 1\n255\n\x01\x02\x03\x01\x02\x03");
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");

    // Replaced, written in place (a second name) or refused: no descriptor stays open.
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    // Also through a link, into standard error's file, and into a file with an attribute,
    // which a new file cannot be.
    ASSERT_EQ(symlink(path.c_str(), (scratch / "link").c_str()), 0);
    const std::string attributed = scratch / "attributed";
    MorvaneTest::WriteFile(attributed, "old");
    setxattr(attributed.c_str(), "user.origin", "test", 4, 0);
    const int standardError = dup(2);
    const auto before = openDescriptors();
    const int stream = open((scratch / "stream").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    dup2(stream, 2);
    close(stream);
    for (int round = 0; round < 10; ++round) {
        EXPECT_TRUE(BakeEngine::SavePpm(path, Filled(2, 1, 0xFF030201u)));
        EXPECT_FALSE(BakeEngine::SavePpm(scratch / "missing/map.ppm", Filled(2, 1, 0)));
        EXPECT_FALSE(BakeEngine::SavePpm("/dev/full", Filled(2, 1, 0)));
        EXPECT_TRUE(BakeEngine::SavePpm(scratch / "link", Filled(2, 1, 0)));
        EXPECT_TRUE(BakeEngine::SavePpm(scratch / "stream", Filled(2, 1, 0)));
        EXPECT_TRUE(BakeEngine::SavePpm(attributed, Filled(2, 1, 0)));
    }
    dup2(standardError, 2);
    ASSERT_EQ(link(path.c_str(), (scratch / "second").c_str()), 0);
    for (int round = 0; round < 10; ++round) {
        EXPECT_TRUE(BakeEngine::SavePpm(path, Filled(2, 1, 0xFF030201u)));
    }
    EXPECT_EQ(openDescriptors(), before);
    close(standardError);
}

TEST(SavePpm, PathsThatCannotBeWrittenFailWithTheSystemsReason) {
    ScratchDirectory scratch;
    MorvaneTest::WriteFile(scratch / "plain", "keep");
    ASSERT_EQ(symlink("loop", (scratch / "loop").c_str()), 0);
    const TextureMap map = Filled(8, 8, 0xFF000000u);
    const std::pair<std::string, int> cases[] = {
        {scratch / "loop", ELOOP},
        {scratch / "missing/map.ppm", ENOENT},
        {scratch.Path().string(), EISDIR},
        {scratch / "plain/map.ppm", ENOTDIR},
        {scratch / std::string("out\0.ppm", 8), EINVAL},  // the system would write "out"
        {"/dev/full", ENOSPC},
        {"/dev/fd/4294967297", ENOENT},  // no descriptor 1 by wrapping
        {"/dev/fd/01", ENOENT},          // the system reads no descriptor there
    };
    for (const auto& [path, error] : cases) {
        errno = 0;
        EXPECT_FALSE(BakeEngine::SavePpm(path, map)) << path;
        EXPECT_EQ(errno, error) << path;
    }
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "loop plain");
    EXPECT_EQ(ReadFile(scratch / "plain"), "keep");
    EXPECT_TRUE(MorvaneTest::IsCharacterDevice("/dev/full")) << "a file was made in its place";
}

TEST(SavePpm, DiskFullKeepsTheOldFileAndLeavesNoTemporary) {
    if (std::getenv("MORVANE_EMULATED") != nullptr) {
        GTEST_SKIP() << "an emulated process does not see its file size limit as a full disk";
    }
    ScratchDirectory scratch;
    const std::string path = scratch / "map.ppm";
    MorvaneTest::WriteFile(path, "old content");
    // The write runs in a child whose file size limit stands in for a full disk. SIGXFSZ
    // keeps its default action: the writer, not the caller, keeps it from ending the process.
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool saved = BakeEngine::SavePpm(path, Filled(256, 256, 0xFF000000u));
        _exit(!saved && errno == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the write did not fail with EFBIG";
    EXPECT_EQ(ReadFile(path), "old content");
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");
}

// The exit status of a child process that runs `body`.
int StatusOfChild(const std::function<bool()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

TEST(SavePpm, NeitherClosedStreamsNorHandledSignalsStopAWrite) {
    if (std::getenv("MORVANE_EMULATED") != nullptr) {
        GTEST_SKIP() << "SKIPPED: qemu-user does not deliver timer signals to blocked calls as "
                        "the kernel does; the native stages check this";
    }
    ScratchDirectory scratch;
    const TextureMap map = Filled(256, 256, 0xFF010203u);
    // A program without standard streams, as a daemon is: the file opened where they were is
    // the target, never a stream.
    const std::string path = scratch / "map.ppm";
    MorvaneTest::WriteFile(path, "old");
    EXPECT_EQ(StatusOfChild([&] {
                  close(1);
                  close(2);
                  return BakeEngine::SavePpm(path, map);
              }),
              0);
    EXPECT_TRUE(ReadFile(path) == MorvaneTest::PpmBytes(map));

    // A FIFO whose reader comes late, while a handled signal interrupts the open and the writes.
    const std::string fifo = scratch / "fifo.ppm";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t child = fork();
    if (child == 0) {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigaction(SIGALRM, &action, nullptr);  // without SA_RESTART
        const itimerval every20ms{{0, 20000}, {0, 20000}};
        setitimer(ITIMER_REAL, &every20ms, nullptr);
        _exit(BakeEngine::SavePpm(fifo, map) ? 0 : 1);
    }
    // The reader comes after a few signals; it waits for the whole file, but not for ever.
    usleep(300000);
    const std::string expected = MorvaneTest::PpmBytes(map);
    std::string received;
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    char chunk[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (received.size() < expected.size() && std::chrono::steady_clock::now() < deadline) {
        const ssize_t count = read(reader, chunk, sizeof chunk);
        if (count > 0) {
            received.append(chunk, static_cast<std::size_t>(count));
        } else {
            usleep(1000);
        }
    }
    close(reader);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(received == expected) << received.size() << " bytes";
}

TEST(SavePpm, RunningOutOfMemoryAnywhereFailsCleanly) {
    ScratchDirectory scratch;
    const std::string path = scratch / "map.ppm";
    const TextureMap map = Filled(300, 200, 0xFF010203u);
    std::vector<std::uint32_t> buffer;
    const std::function<bool()> writes[] = {
        [&] { return BakeEngine::SavePpm(path, map); },
        [&] {
            buffer = {};
            return BakeEngine::SavePpm(path, {Morvane::MapKind::Normal, 300, 200, 2.5f}, buffer);
        },
        [&] { return BakeEngine::EncodePpm(map, [](auto, auto) { return true; }); },
        [&] {
            buffer = {};
            return BakeEngine::EncodePpm(
                {Morvane::MapKind::Normal, 300, 200, 2.5f}, [](auto, auto) { return true; },
                buffer);
        },
    };
    sigset_t maskBefore;
    pthread_sigmask(SIG_SETMASK, nullptr, &maskBefore);
    for (const auto& write : writes) {
        bool saved = false;
        for (long allocation = 0; !saved && allocation < 100; ++allocation) {
            MorvaneTest::WriteFile(path, "old");
            MorvaneTest::RefuseAllocationAfter(allocation);
            saved = write();
            const int error = errno;
            const bool refused = MorvaneTest::AllocationWasRefused();
            MorvaneTest::RestoreAllocations();
            EXPECT_EQ(saved, !refused) << "allocation " << allocation;
            if (refused) {
                EXPECT_EQ(error, ENOMEM)
                    << "allocation " << allocation << ": " << std::strerror(error);
                EXPECT_EQ(ReadFile(path), "old");
            }
            EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map.ppm");
            sigset_t maskAfter;
            pthread_sigmask(SIG_SETMASK, nullptr, &maskAfter);
            for (int signal = 1; signal < NSIG; ++signal) {
                EXPECT_EQ(sigismember(&maskAfter, signal), sigismember(&maskBefore, signal))
                    << "signal " << signal << " after allocation " << allocation;
            }
        }
        EXPECT_TRUE(saved);
    }
}

TEST(SavePpm, SeveralThreadsWriteAtOnce) {
    if (std::getenv("MORVANE_EMULATED") != nullptr) {
        GTEST_SKIP() << "SKIPPED: qemu-user does not deliver signals to threads or run forked "
                        "threaded children as the kernel does; the native stages check this";
    }
    ScratchDirectory scratch;
    std::vector<std::thread> threads;
    bool saved[4] = {};
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            const std::string path = scratch / ("map" + std::to_string(i) + ".ppm");
            for (int round = 0; round < 20; ++round) {
                saved[i] = BakeEngine::SavePpm(path, Filled(64 + i, 64, 0xFF000000u + i));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(saved[i]);
        EXPECT_EQ(ReadFile(scratch / ("map" + std::to_string(i) + ".ppm")),
                  MorvaneTest::PpmBytes(Filled(64 + i, 64, 0xFF000000u + i)));
    }
    EXPECT_EQ(MorvaneTest::ListDirectory(scratch.Path()), "map0.ppm map1.ppm map2.ppm map3.ppm");
}

}  // namespace
