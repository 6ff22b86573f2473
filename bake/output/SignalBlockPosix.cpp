#include "SignalBlock.h"

#include <signal.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace Morvane {
namespace {

static_assert(sizeof(sigset_t) <= sizeof(std::uint64_t[16]), "a signal mask must fit in a block");

constexpr int kWriteErrorSignalNumbers[] = {SIGPIPE, SIGXFSZ};

// The asynchronous signals whose default action ends the process. Signals that a fault raises
// in the thread itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS) are never held back:
// holding them would hide the fault.
void AddTerminatingSignals(sigset_t& set) {
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGABRT, SIGUSR1, SIGUSR2, SIGALRM, SIGTERM,
                             SIGXCPU, SIGVTALRM, SIGPROF, SIGIO}) {
        sigaddset(&set, signal);
    }
#if defined(SIGPWR)
    sigaddset(&set, SIGPWR);
#endif
#if defined(SIGSTKFLT)
    sigaddset(&set, SIGSTKFLT);
#endif
#if defined(SIGRTMIN)
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
        sigaddset(&set, signal);
    }
#endif
}

sigset_t SignalsOf(SignalBlock::Set which) {
    sigset_t set;
    sigemptyset(&set);
    if (which == SignalBlock::kWriteErrorSignals) {
        for (const int signal : kWriteErrorSignalNumbers) {
            sigaddset(&set, signal);
        }
    } else {
        AddTerminatingSignals(set);
    }
    return set;
}

// Whether the process would end from `signal` as things stand: its action is the default.
bool EndsTheProcess(int signal) {
    struct sigaction action;
    return sigaction(signal, nullptr, &action) == 0 && (action.sa_flags & SA_SIGINFO) == 0 &&
           action.sa_handler == SIG_DFL;
}

}  // namespace

void SignalBlock::Block(Set which) {
    Unblock();
    const sigset_t wanted = SignalsOf(which);
    sigset_t before;
    if (pthread_sigmask(SIG_BLOCK, &wanted, &before) == 0) {
        std::memcpy(before_, &before, sizeof before);
        active_ = true;
        set_ = which;
        writeErrorMet_ = false;
    }
}

void SignalBlock::Unblock() {
    if (!active_) {
        return;
    }
    const int savedErrno = errno;
    sigset_t before;
    std::memcpy(&before, before_, sizeof before);
    if (set_ == kWriteErrorSignals && writeErrorMet_) {
        // The write that met a broken pipe or the size limit has failed already. One the
        // caller blocks is the caller's.
        sigset_t caught;
        sigemptyset(&caught);
        for (const int signal : kWriteErrorSignalNumbers) {
            if (sigismember(&before, signal) == 0) {
                sigaddset(&caught, signal);
            }
        }
        const timespec now{0, 0};
        while (sigtimedwait(&caught, nullptr, &now) > 0) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    active_ = false;
    errno = savedErrno;
}

bool SignalBlock::TerminatingSignalPending() const {
    sigset_t pending;
    if (!active_ || set_ != kTerminatingSignals || sigpending(&pending) != 0) {
        return false;
    }
    sigset_t before;
    std::memcpy(&before, before_, sizeof before);
    const sigset_t terminating = SignalsOf(kTerminatingSignals);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&terminating, signal) == 1 && sigismember(&pending, signal) == 1 &&
            sigismember(&before, signal) == 0 && EndsTheProcess(signal)) {
            return true;
        }
    }
    return false;
}

}  // namespace Morvane
