// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Every signal that can be held is: each one that ends a process by default (a user's USR1 or
// a CPU-time limit's XCPU as much as TERM) would cut a write short. A fault in the tool's own
// code still ends it at once, since the system does not let a held SIGSEGV wait.
#include "signal_mask.hpp"

namespace blockbraider {

held_signals hold_signals() {
    sigset_t all, previous;
    sigfillset(&all);
    sigemptyset(&previous);
    sigprocmask(SIG_BLOCK, &all, &previous);
    return held_from(previous);
}

void release_signals(const held_signals& held) {
    const sigset_t previous = mask_of(held);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace blockbraider
