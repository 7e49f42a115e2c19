// A child program for the Win32 checks: sleeps, prints its arguments, or parents a child of its own.
#include "platform/win32/CommandLine.h"
#include "platform/win32/KillOnCloseJob.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace {

// Each argument as hex of its UTF-16 units on its own line, so blanks, quotes and newlines survive.
int printArguments(int argc, wchar_t** argv, int first) {
    _setmode(_fileno(stdout), _O_BINARY);
    for (int i = first; i < argc; ++i) {
        for (const wchar_t* c = argv[i]; *c; ++c)
            std::printf("%04x", unsigned(*c));
        std::printf("\n");
    }
    std::fflush(stdout);
    return 0;
}

// Starts this program again (sleeping) inside the lifetime job, prints the child's id and sleeps:
// when this process is killed, the child must end with it.
int parentChild() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    DWORD error = 0;
    HANDLE job = win32::lifetimeJob(&error);
    if (!job)
        return 10;
    STARTUPINFOW base{};
    base.cb = sizeof(base);
    win32::JobStartupInfo startup;
    if (startup.prepare(base, job) != 0)
        return 11;
    std::wstring line = win32::commandLine(self, {L"--sleep", L"60000"});
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                        nullptr, startup.startupInfo(), &child))
        return 12;
    std::printf("%lu\n", child.dwProcessId);
    std::fflush(stdout);
    Sleep(60000);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"--sleep") == 0) {
        Sleep(DWORD(std::wcstoul(argv[2], nullptr, 10)));
        return 0;
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"--print") == 0)
        return printArguments(argc, argv, 2);
    if (argc >= 2 && std::wcscmp(argv[1], L"--job-parent") == 0)
        return parentChild();
    return 2;
}
