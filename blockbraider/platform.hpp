// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef BLOCKBRAIDER_PLATFORM_HPP
#define BLOCKBRAIDER_PLATFORM_HPP

// What the tool needs from the system around it, beyond the C library's streams: safe standard
// descriptors, a lock on the file, writes that signals cannot cut short, the file's length,
// reads that leave the stream where it is, and a file that is on the disk before success.

// Each system has files of its own, which CMake picks: platform_windows.cpp on Windows, and
// elsewhere platform_posix.cpp with the lock, the held signals and the sync that the system
// does best (lock_linux.cpp or lock_posix.cpp, signals_linux.cpp or signals_posix.cpp,
// sync_macos.cpp, sync_fdatasync.cpp or sync_fsync.cpp).

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace blockbraider {

/// What hold_signals replaced, for release_signals to put back: room for any system's signal
/// mask, which only the system's own file reads.
struct held_signals {
    alignas(std::max_align_t) unsigned char state[128];
};

/// Makes the standard descriptors safe before the file is opened: any of 0, 1 and 2 that is
/// closed gets the null device, so that the file can never take its number and receive a
/// diagnostic. A null device that cannot be opened ends the process (site 56).
void prepare_standard_streams();

/// Makes a write past the process's file-size limit fail with the system's reason, reported
/// like any other failed write, instead of ending the process silently.
void ignore_file_size_signal();

enum class lock_result { taken, held_elsewhere, unsupported };

/// Takes an exclusive lock on the whole file for the life of the process, of every kind the
/// system has (on Linux both flock's and a record lock): held_elsewhere when another process
/// holds one, unsupported when the file system gives no lock of any kind.
lock_result lock_file(std::FILE* stream);

/// Defers the signals that end a process from outside (interrupt, terminate, hangup, quit and
/// the like) until release_signals, so that none takes effect in the middle of a write. Holds
/// nest: a signal takes effect once every hold is released.
held_signals hold_signals();

/// Puts back what hold_signals replaced; a signal deferred meanwhile then takes its usual
/// effect, and ends the process as it would have without the hold.
void release_signals(const held_signals& previous);

/// The file's current length in bytes; a failure ends the process (site 27). Only a regular file
/// can be cut shorter by another process: anything else, a block device say, whose length the
/// system does not give this way, counts as having no end.
std::int64_t file_length(std::FILE* stream);

/// Reads up to `count` bytes at `offset` without the stream, fewer only at the end of the file;
/// a failure ends the process (site 17). The stream is left to be positioned before its next use.
std::size_t read_at(std::FILE* stream, std::int64_t offset, unsigned char* buffer,
                    std::size_t count);

/// Asks the system to put the file's data on the disk, and returns whether it says it did:
/// only then has a write that the disk failed no chance to go unreported.
bool sync_file(std::FILE* stream);

}  // namespace blockbraider

#endif
