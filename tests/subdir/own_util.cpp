// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// The consumer's own library named util, whose target name ours must not take.
int own_util_answer() { return 42; }
