// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Link-time wrappers (-Wl,--wrap=NAME) for the stream, allocation, lock and sync functions that
// the tool and the library call. BLOCKBRAIDER_FAULT="function:N:action[:bytes]" acts on the Nth
// call of that function, after really moving `bytes` bytes for fread and fwrite. The action is an
// errno (a number, or EIO, ENOSPC, ENOMEM, EACCES, ENOLCK) to fail with; SIGTERM or SIGINT, raised
// by fwrite between its first `bytes` bytes and the rest, as a signal may come in the middle of a
// write; or SHRINK, which lets fread succeed and then cuts the file to `bytes` bytes, as another
// process may. Several plans are separated by commas. Every other call goes through unchanged.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
std::FILE* __real_fopen(const char* path, const char* mode);
int __real_fseek(std::FILE* stream, long offset, int origin);
std::size_t __real_fread(void* buffer, std::size_t size, std::size_t count, std::FILE* stream);
std::size_t __real_fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* stream);
int __real_fclose(std::FILE* stream);
void* __real_malloc(std::size_t size);
ssize_t __real_pread(int fd, void* buffer, std::size_t count, off_t offset);
int __real_fdatasync(int fd);
int __real_fsync(int fd);
int __real_flock(int fd, int operation);
int __real_fcntl(int fd, int command, ...);
}

namespace {

struct Fault {
    int error;    // the errno to fail with
    int signal;   // or a signal to raise part-way through
    bool shrink;  // or to cut the file to `bytes` after the call
    std::size_t bytes;
};

void parse_action(const char* text, Fault* fault) {
    const struct {
        const char* name;
        int number;
    } errors[] = {{"EIO", EIO},
                  {"ENOSPC", ENOSPC},
                  {"ENOMEM", ENOMEM},
                  {"EACCES", EACCES},
                  {"ENOLCK", ENOLCK}},
      signals[] = {{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}};
    for (const auto& entry : errors)
        if (std::strcmp(text, entry.name) == 0)
            fault->error = entry.number;
    for (const auto& entry : signals)
        if (std::strcmp(text, entry.name) == 0)
            fault->signal = entry.number;
    fault->shrink = std::strcmp(text, "SHRINK") == 0;
    if (fault->error == 0 && fault->signal == 0 && !fault->shrink)
        fault->error = std::atoi(text);
}

// Counts the calls of `function` under the current plans and says whether this one is planned.
// The plans are read at every call, so that a death-test child can set them after the fork; new
// plans start the counts afresh. Nothing here allocates: it also runs inside malloc.
bool take(const char* function, Fault* fault) {
    static char plans[256];
    static const char* names[] = {"fopen", "fseek",     "fread", "fwrite", "fclose", "malloc",
                                  "pread", "fdatasync", "fsync", "flock",  "fcntl"};
    constexpr std::size_t functions = sizeof names / sizeof names[0];
    static long calls[functions];
    const char* wanted = std::getenv("BLOCKBRAIDER_FAULT");
    if (wanted == nullptr)
        wanted = "";
    if (std::strncmp(plans, wanted, sizeof plans - 1) != 0) {
        std::strncpy(plans, wanted, sizeof plans - 1);
        std::memset(calls, 0, sizeof calls);
    }
    long count = 0;
    for (std::size_t i = 0; i < functions; ++i)
        if (std::strcmp(names[i], function) == 0)
            count = ++calls[i];

    char copy[sizeof plans];
    std::strncpy(copy, plans, sizeof copy - 1);
    copy[sizeof copy - 1] = '\0';
    for (char *list = copy, *plan; (plan = strsep(&list, ",")) != nullptr;) {
        const char* name = strsep(&plan, ":");
        const char* call = plan != nullptr ? strsep(&plan, ":") : nullptr;
        const char* action = plan != nullptr ? strsep(&plan, ":") : nullptr;
        if (call == nullptr || action == nullptr || std::strcmp(name, function) != 0 ||
            std::atol(call) != count)
            continue;
        *fault = Fault{};
        parse_action(action, fault);
        fault->bytes = plan != nullptr ? std::strtoul(plan, nullptr, 10) : 0;
        return true;
    }
    return false;
}

}  // namespace

extern "C" {

std::FILE* __wrap_fopen(const char* path, const char* mode) {
    Fault fault{};
    if (take("fopen", &fault)) {
        errno = fault.error;
        return nullptr;
    }
    return __real_fopen(path, mode);
}

int __wrap_fseek(std::FILE* stream, long offset, int origin) {
    Fault fault{};
    if (take("fseek", &fault)) {
        errno = fault.error;
        return -1;
    }
    return __real_fseek(stream, offset, origin);
}

std::size_t __wrap_fread(void* buffer, std::size_t size, std::size_t count, std::FILE* stream) {
    Fault fault{};
    if (!take("fread", &fault))
        return __real_fread(buffer, size, count, stream);
    if (fault.shrink) {
        const std::size_t moved = __real_fread(buffer, size, count, stream);
        if (ftruncate(fileno(stream), static_cast<off_t>(fault.bytes)) != 0)
            std::abort();
        return moved;
    }
    const std::size_t moved = __real_fread(buffer, 1, fault.bytes, stream) / size;
    errno = fault.error;
    return moved;
}

std::size_t __wrap_fwrite(const void* data, std::size_t size, std::size_t count,
                          std::FILE* stream) {
    Fault fault{};
    if (take("fwrite", &fault)) {
        const std::size_t moved = __real_fwrite(data, 1, fault.bytes, stream) / size;
        if (fault.signal != 0) {
            std::raise(fault.signal);
            const auto* rest = static_cast<const unsigned char*>(data) + fault.bytes;
            return moved + __real_fwrite(rest, 1, size * count - fault.bytes, stream) / size;
        }
        errno = fault.error;
        return moved;
    }
    return __real_fwrite(data, size, count, stream);
}

// A failed close still closes: the stream is gone either way, as the C standard has it.
int __wrap_fclose(std::FILE* stream) {
    Fault fault{};
    const bool fail = take("fclose", &fault);
    const int result = __real_fclose(stream);
    if (!fail)
        return result;
    errno = fault.error;
    return EOF;
}

void* __wrap_malloc(std::size_t size) {
    Fault fault{};
    if (take("malloc", &fault)) {
        errno = fault.error;
        return nullptr;
    }
    return __real_malloc(size);
}

// The calls below fail with the planned errno instead of reaching the system.
#define FAIL_OR_CALL(name, ...) \
    Fault fault{};              \
    if (take(#name, &fault)) {  \
        errno = fault.error;    \
        return -1;              \
    }                           \
    return __real_##name(__VA_ARGS__)

ssize_t __wrap_pread(int fd, void* buffer, std::size_t count, off_t offset) {
    FAIL_OR_CALL(pread, fd, buffer, count, offset);
}

int __wrap_fdatasync(int fd) { FAIL_OR_CALL(fdatasync, fd); }

int __wrap_fsync(int fd) { FAIL_OR_CALL(fsync, fd); }

int __wrap_flock(int fd, int operation) { FAIL_OR_CALL(flock, fd, operation); }

// Every fcntl the tool makes passes one argument or none; reading one where none was passed
// takes an unused register, which the system then ignores.
int __wrap_fcntl(int fd, int command, ...) {
    std::va_list args;
    va_start(args, command);
    void* argument = va_arg(args, void*);
    va_end(args);
    FAIL_OR_CALL(fcntl, fd, command, argument);
}
}
