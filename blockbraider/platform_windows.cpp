// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Everything that differs on Windows: the standard streams, the lock, Ctrl+C, the file's length,
// positional reads, the sync, a start from Explorer, and the C runtime's wildcard expansion.
#include "explorer.hpp"
#include "platform.hpp"

#include <util/util.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <string>

#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

// The C runtime, not the shell, expands wildcard patterns on Windows; ask it to, so that the
// arguments are counted after the expansion as they are on other systems.
extern "C" {
int _dowildcard = -1;
}

namespace blockbraider {

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

// Holds nest, and one thread cannot take an SRW lock twice: the first hold takes it and the last
// release gives it back. Only the tool's own thread holds, so the count needs no lock.
int holds = 0;

BOOL WINAPI end_between_writes(DWORD) {
    AcquireSRWLockExclusive(&writing);
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace

// The handler is added, never the console's own setting changed: a tool started with Ctrl+C
// ignored, as a parent may ask, is never told of Ctrl+C, and stays that way.
held_signals hold_signals() {
    [[maybe_unused]] static const BOOL added = SetConsoleCtrlHandler(end_between_writes, TRUE);
    if (holds++ == 0)
        AcquireSRWLockExclusive(&writing);
    return {};  // nothing to put back: the write holds a lock instead
}

void release_signals(const held_signals&) {
    if (--holds == 0)
        ReleaseSRWLockExclusive(&writing);
}

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

// Windows gives a console of its own to any console program that a process without one starts,
// a service or a graphical front end say, and such a caller reads the tool's output or hides its
// window: only a tool whose three standard handles are that console itself has a window to show.
bool alone_on_console() {
    DWORD mode = 0, processes[2];
    for (const DWORD handle : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        if (!GetConsoleMode(GetStdHandle(handle), &mode))
            return false;
    return GetConsoleProcessList(processes, 2) == 1;
}

namespace {

std::wstring wide(const char* utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), size);
    text.resize(text.size() - 1);
    return text;
}

// Runs this program on `file` alone, on the same console, and returns what it wrote to stderr,
// or why it could not start, with a newline at its end either way; empty after a conversion.
std::string run_alone(const char* file) {
    std::wstring program(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, program.data(),
                                        static_cast<DWORD>(program.size()))) == program.size())
        program.resize(program.size() * 2);
    program.resize(length);
    // A Windows file name holds no quotation mark, so quoting is enough.
    std::wstring command = L"\"" + program + L"\" \"" + wide(file) + L"\"";

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    const BOOL piped = CreatePipe(&read_end, &write_end, &inherited, 0);
    if (piped)
        SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = write_end;
    PROCESS_INFORMATION process{};
    const BOOL started = piped && CreateProcessW(program.c_str(), command.data(), nullptr, nullptr,
                                                 TRUE, 0, nullptr, nullptr, &startup, &process);
    std::string diagnostic;
    if (piped) {
        CloseHandle(write_end);
        char piece[512];
        DWORD got = 0;
        while (started && ReadFile(read_end, piece, sizeof piece, &got, nullptr) && got != 0)
            diagnostic.append(piece, got);
        CloseHandle(read_end);
    }
    if (!started)
        return "could not start a run of its own\n";
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (status == 0)
        return "";
    return diagnostic.empty() ? "ended with status " + std::to_string(status) + "\n" : diagnostic;
}

// Writes `line` to the console as text, so that names in any script show whatever its code page.
void show(const std::string& line) {
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    const std::wstring text = wide(line.c_str());
    if (!GetConsoleMode(console, &mode) ||
        !WriteConsoleW(console, text.c_str(), static_cast<DWORD>(text.size()), nullptr, nullptr))
        std::fputs(line.c_str(), stderr);
}

}  // namespace

int convert_each_and_wait(int count, char** files, const char* usage) {
    if (count == 0)
        show(std::string(usage) + "To convert files, drop them on blockbraider.exe in Explorer.\n");
    int status = 0;
    for (int i = 0; i < count; ++i) {
        const std::string diagnostic = run_alone(files[i]);
        show(std::string(files[i]) + ": " + (diagnostic.empty() ? "converted\n" : diagnostic));
        status = diagnostic.empty() ? status : 1;
    }
    show("Press a key to close this window.\n");
    _getch();
    return status;
}

}  // namespace blockbraider
