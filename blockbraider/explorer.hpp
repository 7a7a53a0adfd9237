// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_EXPLORER_HPP
#define BLOCKBRAIDER_EXPLORER_HPP

// A double-click or a drop in Windows' Explorer starts the tool on a console of its own, which
// closes the moment the tool ends, with every dropped file as an argument. There the tool must
// show what it did until it has been read.

namespace blockbraider {

/// Whether the tool is alone on a console of its own, with its standard input, output and error
/// on it, as only a start from Explorer leaves it: a terminal, cmd, PowerShell or a script shares
/// theirs, and a caller that reads the tool's output redirects it. Never on other systems.
bool alone_on_console();

/// For a start from Explorer: converts each of the `count` files at `files` by a run of the tool
/// of its own, with its one-argument contract whole, shows one line per file with its name and
/// "converted" or the run's diagnostic, and waits for a key. With no file, shows `usage` and how
/// to drop files, and waits. Returns 0 when every file converted, 1 otherwise.
int convert_each_and_wait(int count, char** files, const char* usage);

}  // namespace blockbraider

#endif
