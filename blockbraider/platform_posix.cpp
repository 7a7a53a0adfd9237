// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// What any POSIX.1-2008 system gives the same way: the standard descriptors, the file-size
// signal, the file's length and positional reads. The lock, the held signals and the sync have
// files of their own, since Linux and macOS do better there than POSIX asks.
#include "explorer.hpp"
#include "platform.hpp"

#include <util/util.hpp>

#include <cerrno>
#include <limits>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace blockbraider {

void prepare_standard_streams() {
    // open takes the lowest free number, and every lower one is open by then: it is `fd`.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDWR) == -1)
            util::fatal_errno("blockbraider", 56, "prepare_standard_streams", "open");
}

void ignore_file_size_signal() { signal(SIGXFSZ, SIG_IGN); }

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

// No POSIX system starts a program on a console of its own.
bool alone_on_console() { return false; }

// Never called where alone_on_console() is false.
int convert_each_and_wait(int, char**, const char*) { return 1; }

}  // namespace blockbraider
