// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "signal_mask.hpp"

#include <cstring>

#include <sys/syscall.h>
#include <unistd.h>

namespace blockbraider {

// Every signal that can be held is: each one that ends a process by default (a user's USR1 or
// a CPU-time limit's XCPU as much as TERM) would cut a write short. That includes the two
// real-time signals the C library keeps for its threads, which its own sigprocmask will not hold
// and which, sent from outside to this one-threaded process, end it: so the system is asked
// directly. A fault in the tool's own code still ends it at once, since the system does not let
// a held SIGSEGV wait.
held_signals hold_signals() {
    sigset_t all, previous{};
    std::memset(&all, 0xFF, sizeof all);
    syscall(SYS_rt_sigprocmask, SIG_BLOCK, &all, &previous, _NSIG / 8);
    return held_from(previous);
}

void release_signals(const held_signals& held) {
    const sigset_t previous = mask_of(held);
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &previous, nullptr, _NSIG / 8);
}

}  // namespace blockbraider
