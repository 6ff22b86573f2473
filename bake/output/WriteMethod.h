// The one decision of the writer: how a target is written, from what was observed about it.
#pragma once

// The writer's own: the engine never uses it (see bake/CMakeLists.txt).
#if !defined(MORVANE_WRITER_INTERNALS)
#error "the writer's internals are for the writer and its tests; the engine never uses them"
#endif

#include <cstdint>

namespace Morvane {

enum class WriteMethod {
    Descriptor,   // one of the process's own descriptors, at its current position
    SpecialFile,  // a pipe, terminal or device: written as it is, never truncated
    Replace,      // a new file, put in the target's place once complete
    InPlace,      // the regular file that was opened, itself
    Refuse,       // not written: the write fails with the error observed
};

// What was observed about a target, its folder and the new file that would replace it. The
// writer observes it when it opens the target, and once more when the new file is complete.
struct TargetFacts {
    int descriptor = -1;      // the process's own descriptor the path names or the file is
    bool missing = false;     // nothing was at the path: the new file, unnamed, takes the name
    bool regular = true;      // a regular file, not a pipe, terminal or device
    bool located = true;      // a folder and a name in it lead to the opened file
    std::uint64_t links = 1;  // names the file has
    bool setIdOrSticky = false;
    bool mountPoint = false;        // mounted over another file (a bind mount)
    bool deviceFolder = false;      // under the system's device folder
    bool folderAppendOnly = false;  // entries there can be added, never removed
    // Why the new file could not be made, or made the same file as the target (its owner,
    // mode, attributes or inode flags): an errno value, 0 when nothing stood in the way.
    int replacementError = 0;
};

// Running out of descriptors, inodes, memory or space: reported, never a reason to write
// another way.
bool IsResourceError(int error);

// How the target is written. For Refuse, `error` is the errno value to fail with.
WriteMethod ChooseWriteMethod(const TargetFacts& facts, int& error);
inline WriteMethod ChooseWriteMethod(const TargetFacts& facts) {
    int error = 0;
    return ChooseWriteMethod(facts, error);
}

}  // namespace Morvane
