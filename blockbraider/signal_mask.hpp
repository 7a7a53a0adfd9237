// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_SIGNAL_MASK_HPP
#define BLOCKBRAIDER_SIGNAL_MASK_HPP

// A POSIX signal mask kept in the opaque held_signals, for the files that hold signals.

#include "platform.hpp"

#include <cstring>

#include <signal.h>

namespace blockbraider {

static_assert(sizeof(sigset_t) <= sizeof(held_signals::state));

inline held_signals held_from(const sigset_t& mask) {
    held_signals held{};
    std::memcpy(held.state, &mask, sizeof mask);
    return held;
}

inline sigset_t mask_of(const held_signals& held) {
    sigset_t mask;
    std::memcpy(&mask, held.state, sizeof mask);
    return mask;
}

}  // namespace blockbraider

#endif
