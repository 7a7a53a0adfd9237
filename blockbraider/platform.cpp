#include "platform.hpp"

#include <util/util.hpp>

#include <cerrno>

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
#include <unistd.h>
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

bool lock_file(std::FILE* stream) {
    auto* file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    OVERLAPPED whole_file{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole_file))
        return true;
    // Only another process's lock stops the tool; a file system that cannot lock does not.
    return GetLastError() != ERROR_LOCK_VIOLATION;
}

// A console has no way to defer Ctrl+C, only to ignore it: one that comes during a write is
// dropped, and the next one ends the tool between writes. Closing the console or logging off
// still ends it at once.
held_signals hold_signals() {
    SetConsoleCtrlHandler(nullptr, TRUE);
    return 0;
}

void release_signals(const held_signals&) { SetConsoleCtrlHandler(nullptr, FALSE); }

std::int64_t file_length(std::FILE* stream) {
    struct _stat64 status;
    if (_fstat64(_fileno(stream), &status) != 0)
        util::fatal_errno("blockbraider", 27, "file_length", "fstat");
    return status.st_size;
}

#else

void prepare_standard_streams() {
    // open takes the lowest free number, and every lower one is open by then: it is `fd`.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDWR) == -1)
            util::fatal_errno("blockbraider", 56, "prepare_standard_streams", "open");
}

void ignore_file_size_signal() { signal(SIGXFSZ, SIG_IGN); }

bool lock_file(std::FILE* stream) {
    // Only another process's lock stops the tool; a file system that cannot lock (ENOLCK,
    // EOPNOTSUPP and the like) leaves the file to this run alone, as it always has.
    return flock(fileno(stream), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

// Every signal that can be held is: each one that ends a process by default (a user's USR1 or
// a CPU-time limit's XCPU as much as TERM) would cut a write short. A fault in the tool's own
// code still ends it at once, since the system does not let a held SIGSEGV wait.
held_signals hold_signals() {
    sigset_t all, previous;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &previous);
    return previous;
}

void release_signals(const held_signals& previous) { sigprocmask(SIG_SETMASK, &previous, nullptr); }

std::int64_t file_length(std::FILE* stream) {
    struct stat status;
    if (fstat(fileno(stream), &status) != 0)
        util::fatal_errno("blockbraider", 27, "file_length", "fstat");
    return status.st_size;
}

#endif

}  // namespace blockbraider
