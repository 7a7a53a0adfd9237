// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#include "explorer.hpp"

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <conio.h>
#include <windows.h>

#include <cstdio>
#include <string>
#endif

namespace blockbraider {

#if defined(_WIN32)

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

#else

// No other system starts a program on a console of its own.
bool alone_on_console() { return false; }

// Never called where alone_on_console() is false.
int convert_each_and_wait(int, char**, const char*) { return 1; }

#endif

}  // namespace blockbraider
