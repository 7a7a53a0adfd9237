// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Linux keeps flock's locks and record locks apart: take both, the record lock as one that
// belongs to the open file (F_OFD_SETLK), as flock's does.
#include "platform.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>

namespace blockbraider {

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

}  // namespace blockbraider
