// Link-time wrappers (-Wl,--wrap=NAME) for the stream and allocation functions that the tool and
// the library call. BLOCKBRAIDER_FAULT="function:N:error[:bytes]" makes the Nth call of that
// function fail with errno set to `error` (a number, or EIO, ENOSPC, ENOMEM, EACCES), after
// really moving `bytes` bytes for fread and fwrite. Every other call goes through unchanged.
#include <cerrno>
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
}

namespace {

struct Fault {
    int error;
    std::size_t bytes;
};

int error_number(const char* text) {
    const struct {
        const char* name;
        int number;
    } names[] = {{"EIO", EIO}, {"ENOSPC", ENOSPC}, {"ENOMEM", ENOMEM}, {"EACCES", EACCES}};
    for (const auto& entry : names)
        if (std::strcmp(text, entry.name) == 0)
            return entry.number;
    return std::atoi(text);
}

// Counts the calls of `function` under the current plan and says whether this one must fail.
// The plan is read at every call, so that a death-test child can set it after the fork; a new
// plan starts the counts afresh. Nothing here allocates: it also runs inside malloc.
bool take(const char* function, Fault* fault) {
    static char plan[128];
    static const char* names[] = {"fopen", "fseek", "fread", "fwrite", "fclose", "malloc"};
    static long calls[6];
    const char* wanted = std::getenv("BLOCKBRAIDER_FAULT");
    if (wanted == nullptr)
        wanted = "";
    if (std::strncmp(plan, wanted, sizeof plan - 1) != 0) {
        std::strncpy(plan, wanted, sizeof plan - 1);
        std::memset(calls, 0, sizeof calls);
    }
    long count = 0;
    for (std::size_t i = 0; i < 6; ++i)
        if (std::strcmp(names[i], function) == 0)
            count = ++calls[i];

    char copy[128];
    std::strncpy(copy, plan, sizeof copy - 1);
    copy[sizeof copy - 1] = '\0';
    char* rest = copy;
    const char* name = strsep(&rest, ":");
    const char* call = rest != nullptr ? strsep(&rest, ":") : nullptr;
    const char* error = rest != nullptr ? strsep(&rest, ":") : nullptr;
    if (call == nullptr || error == nullptr || std::strcmp(name, function) != 0 ||
        std::atol(call) != count)
        return false;
    fault->error = error_number(error);
    fault->bytes = rest != nullptr ? std::strtoul(rest, nullptr, 10) : 0;
    return true;
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
    if (take("fread", &fault)) {
        const std::size_t moved = __real_fread(buffer, 1, fault.bytes, stream) / size;
        errno = fault.error;
        return moved;
    }
    return __real_fread(buffer, size, count, stream);
}

std::size_t __wrap_fwrite(const void* data, std::size_t size, std::size_t count,
                          std::FILE* stream) {
    Fault fault{};
    if (take("fwrite", &fault)) {
        const std::size_t moved = __real_fwrite(data, 1, fault.bytes, stream) / size;
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
}
