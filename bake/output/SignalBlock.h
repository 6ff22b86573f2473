// Signals held back on the calling thread while a file is written (POSIX; nothing on
// Windows, which has no signals to hold).
#pragma once

// The writer's own: the engine never uses it (see bake/CMakeLists.txt).
#if !defined(MORVANE_WRITER_INTERNALS)
#error "the writer's internals are for the writer and its tests; the engine never uses them"
#endif

#include <cstdint>

namespace Morvane {

// Blocks a set of signals on top of whatever the caller blocks, until Unblock() or the end of
// its life restores the caller's exact mask.
class SignalBlock {
public:
    enum Set {
        // SIGPIPE and SIGXFSZ: a write then fails (EPIPE, EFBIG) instead of ending the process.
        kWriteErrorSignals,
        // The asynchronous signals whose default action ends the process.
        kTerminatingSignals,
    };

    SignalBlock() = default;
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;
    ~SignalBlock() { Unblock(); }

    void Block(Set set);
    // For kWriteErrorSignals, drops those that the block caught once a write has failed with
    // EPIPE or EFBIG (NoteWriteError): that signal is spent.
    void Unblock();
    void NoteWriteError() { writeErrorMet_ = true; }
    // Whether a terminating signal arrived that the caller neither blocks, ignores nor handles.
    bool TerminatingSignalPending() const;
    bool IsActive() const { return active_; }

private:
    bool active_ = false;
    Set set_ = kWriteErrorSignals;
    bool writeErrorMet_ = false;
    std::uint64_t before_[16] = {};  // the caller's mask, as the platform keeps it
};

#if defined(_WIN32)
inline void SignalBlock::Block(Set) {}
inline void SignalBlock::Unblock() {}
inline bool SignalBlock::TerminatingSignalPending() const {
    return false;
}
#endif

}  // namespace Morvane
