// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

// Stands in for blockbraider.exe in the cmd batch example's test: a file whose name begins with
// "interrupted" ends as a run that Ctrl+C ends, with 0xC000013A and not a word; any other is
// handed to the tool with the command line as it came, and ends as the tool ends.
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <string>

int main() {
    // The arguments are what follows the program's own name, quoted or not.
    const wchar_t* arguments = GetCommandLineW();
    for (bool quoted = false; *arguments != L'\0' && (quoted || *arguments != L' '); ++arguments)
        quoted ^= *arguments == L'"';
    if (std::wcsncmp(arguments + std::wcsspn(arguments, L" \""), L"interrupted", 11) == 0)
        return static_cast<int>(STATUS_CONTROL_C_EXIT);
    std::wstring command = std::wstring(L"\"" BLOCKBRAIDER_EXE_W L"\"") + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 2;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 2;
    GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}
