// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "platform.hpp"

#include <util/util.hpp>

#include <algorithm>
#include <cerrno>
#include <limits>

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#endif

namespace blockbraider {

#if defined(_WIN32)

void prepare_standard_streams() {
    // The C runtime keeps descriptors 0 to 2 for the standard streams even when the process
    // starts without them, so the file can never take one of their numbers. Diagnostics end in
    // a bare newline everywhere, so that scripts that read them see the same bytes.
    _setmode(_fileno(stderr), _O_BINARY);
}

// Windows has no signal for a file-size limit: the write itself fails.
void ignore_file_size_signal() {}

lock_result lock_file(std::FILE* stream) {
    auto* file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    OVERLAPPED whole_file{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole_file))
        return lock_result::taken;
    return GetLastError() == ERROR_LOCK_VIOLATION ? lock_result::held_elsewhere
                                                  : lock_result::unsupported;
}

namespace {

// Held by the tool for the length of each write, and taken by the console's control handler,
// which runs on a thread of its own, before it ends the process: so Ctrl+C, Ctrl+Break or a
// closing console ends the tool only between writes. A lock the handler shares with the write
// must live outside both functions.
SRWLOCK writing = SRWLOCK_INIT;

BOOL WINAPI end_between_writes(DWORD) {
    AcquireSRWLockExclusive(&writing);
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace

// The handler is added, never the console's own setting changed: a tool started with Ctrl+C
// ignored, as a parent may ask, is never told of Ctrl+C, and stays that way.
held_signals hold_signals() {
    [[maybe_unused]] static const BOOL added = SetConsoleCtrlHandler(end_between_writes, TRUE);
    AcquireSRWLockExclusive(&writing);
    return 0;
}

void release_signals(const held_signals&) { ReleaseSRWLockExclusive(&writing); }

std::int64_t file_length(std::FILE* stream) {
    struct _stat64 status;
    if (_fstat64(_fileno(stream), &status) != 0)
        util::fatal_errno("blockbraider", 27, "file_length", "fstat");
    return (status.st_mode & _S_IFMT) == _S_IFREG ? status.st_size
                                                  : std::numeric_limits<std::int64_t>::max();
}

// The stream has no buffer, and is positioned before every use, so reading its descriptor
// directly moves nothing it relies on.
std::size_t read_at(std::FILE* stream, std::int64_t offset, unsigned char* buffer,
                    std::size_t count) {
    const int fd = _fileno(stream);
    if (_lseeki64(fd, offset, SEEK_SET) == -1)
        util::fatal_errno("blockbraider", 17, "read_at", "pread");
    std::size_t got = 0;
    while (got < count) {
        const int n = _read(fd, buffer + got,
                            static_cast<unsigned>(std::min<std::size_t>(count - got, 1 << 30)));
        if (n < 0)
            util::fatal_errno("blockbraider", 17, "read_at", "pread");
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// _commit is FlushFileBuffers, with the error as errno.
bool sync_file(std::FILE* stream) { return _commit(_fileno(stream)) == 0; }

#else

void prepare_standard_streams() {
    // open takes the lowest free number, and every lower one is open by then: it is `fd`.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDWR) == -1)
            util::fatal_errno("blockbraider", 56, "prepare_standard_streams", "open");
}

void ignore_file_size_signal() { signal(SIGXFSZ, SIG_IGN); }

lock_result lock_file(std::FILE* stream) {
    const int fd = fileno(stream);
    const bool flocked = flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (!flocked && errno == EWOULDBLOCK)
        return lock_result::held_elsewhere;
    // Programs that lock with fcntl or lockf hold a record lock, which Linux keeps apart from
    // flock's: take one as well. It belongs to the open file, not the process, like flock's, so
    // that where flock is itself made of record locks (NFS) the two never meet as strangers.
    struct flock whole_file {};
    whole_file.l_type = F_WRLCK;
    whole_file.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &whole_file) == 0)
        return lock_result::taken;
    if (errno == EAGAIN || errno == EACCES)
        return lock_result::held_elsewhere;
    // A file system that refuses both kinds (ENOLCK, EOPNOTSUPP, ENOSYS: NFS without its lock
    // daemon, say) cannot keep a second run out.
    return flocked ? lock_result::taken : lock_result::unsupported;
}

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
    return previous;
}

void release_signals(const held_signals& previous) {
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &previous, nullptr, _NSIG / 8);
}

std::int64_t file_length(std::FILE* stream) {
    struct stat status;
    if (fstat(fileno(stream), &status) != 0)
        util::fatal_errno("blockbraider", 27, "file_length", "fstat");
    return S_ISREG(status.st_mode) ? status.st_size : std::numeric_limits<std::int64_t>::max();
}

std::size_t read_at(std::FILE* stream, std::int64_t offset, unsigned char* buffer,
                    std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = pread(fileno(stream), buffer + got, count - got,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(got)));
        if (n < 0 && errno != EINTR)
            util::fatal_errno("blockbraider", 17, "read_at", "pread");
        if (n == 0)
            break;
        got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return got;
}

bool sync_file(std::FILE* stream) { return fdatasync(fileno(stream)) == 0; }

#endif

}  // namespace blockbraider
