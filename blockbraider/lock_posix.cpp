// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// The one lock POSIX.1-2008 gives: a record lock over the whole file (fcntl F_SETLK), which
// programs that lock with fcntl or lockf hold too. It belongs to the process, which opens the
// file once and closes it only when it ends, so nothing lets it go early.
#include "platform.hpp"

#include <cerrno>

#include <fcntl.h>

namespace blockbraider {

lock_result lock_file(std::FILE* stream) {
    struct flock whole_file {};
    whole_file.l_type = F_WRLCK;
    whole_file.l_whence = SEEK_SET;
    if (fcntl(fileno(stream), F_SETLK, &whole_file) == 0)
        return lock_result::taken;
    if (errno == EAGAIN || errno == EACCES)
        return lock_result::held_elsewhere;
    // A file system that gives no lock (ENOLCK, EOPNOTSUPP: NFS without its lock daemon, say)
    // cannot keep a second run out.
    return lock_result::unsupported;
}

}  // namespace blockbraider
