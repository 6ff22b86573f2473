// How the writer reads an output path: the process's own descriptors it may name, the folder
// and name it splits into, and the names of temporary files beside it.
#pragma once

// The writer's own: the engine never uses it (see bake/CMakeLists.txt).
#if !defined(MORVANE_WRITER_INTERNALS)
#error "the writer's internals are for the writer and its tests; the engine never uses them"
#endif

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

namespace Morvane {

// The descriptor that `path` names in the process whose id is `processId`: /dev/stdin,
// /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N or
// /proc/<processId>/fd/N, with any run of slashes read as one; -1 for any other path. N is
// plain decimal, as the system spells it: /dev/fd/01 names nothing. Opening such a path anew
// would reopen (and truncate) the file behind the descriptor, or fail for a deleted one,
// instead of writing at its position, so the writer uses the descriptor itself.
int DescriptorNamedBy(std::string_view path, long processId);

// The same for the calling process, whose id is asked for only where the path may hold it.
int OwnDescriptorNamedBy(const std::string& path);

// Draws temporary names (".morvane-" and ten characters from 50 of `randomBits()`: short, so
// that a valid name never becomes too long beside its target, and unpredictable, so that
// leftovers never collide) until `claim(name)` takes one. False with errno set when a claim
// fails for another reason than the name being taken, or every name drawn was taken.
template <typename RandomBits, typename Claim>
bool ClaimTemporaryName(std::string& name, RandomBits randomBits, Claim claim) {
    constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = ".morvane-";
        for (std::uint64_t bits = randomBits(), i = 0; i < 10; ++i, bits >>= 5) {
            name += kAlphabet[bits & 31];
        }
        if (claim(name)) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    name.clear();
    return false;
}

// The folder part of `path` with its final separator ("maps/" for "maps/set_ao.ppm"), empty
// for a bare name; and the name after it.
std::string_view FolderOf(std::string_view path);
std::string_view NameOf(std::string_view path);

// True for a name that can be an entry of a folder: not empty, "." or "..".
bool IsEntryName(std::string_view name);

// True for paths in the system's device folder, whose entries are never replaced by files.
bool IsDevicePath(std::string_view path);

}  // namespace Morvane
