// Checks of the Win32 cores, run under Wine (or on Windows): win32_cores_test.exe <area> <standin.exe>.
// Each area is a table of rows; a failing row prints what it expected and the program exits non-zero.
#include "platform/win32/CommandLine.h"
#include "platform/win32/Dpapi.h"
#include "platform/win32/FileMove.h"
#include "platform/win32/FinalPath.h"
#include "platform/win32/KillOnCloseJob.h"
#include "platform/win32/ProcessWait.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int failures = 0;
std::wstring standin;

void check(bool ok, const char* area, const char* row) {
    if (!ok) {
        std::printf("FAIL %s: %s\n", area, row);
        ++failures;
    }
}

struct Child {
    PROCESS_INFORMATION info{};
    HANDLE output = nullptr; // read end of the child's stdout, when captured
    ~Child() {
        if (info.hProcess) {
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, 5000);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
        if (output)
            CloseHandle(output);
    }
};

bool start(Child& child, const std::wstring& program, const std::vector<std::wstring>& arguments,
           bool captureOutput = false, STARTUPINFOW* startup = nullptr, DWORD flags = 0) {
    std::wstring line = win32::commandLine(program, arguments);
    STARTUPINFOW plain{};
    plain.cb = sizeof(plain);
    HANDLE write = nullptr;
    if (captureOutput) {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        if (!CreatePipe(&child.output, &write, &inherit, 0))
            return false;
        SetHandleInformation(child.output, HANDLE_FLAG_INHERIT, 0);
        plain.dwFlags = STARTF_USESTDHANDLES;
        plain.hStdOutput = write;
        plain.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        plain.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    const bool ok =
        !line.empty() && CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, captureOutput, flags,
                                        nullptr, nullptr, startup ? startup : &plain, &child.info);
    if (write)
        CloseHandle(write);
    return ok;
}

std::string readAll(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

std::string hexLines(const std::vector<std::wstring>& words) {
    std::string text;
    char unit[8];
    for (const std::wstring& word : words) {
        for (const wchar_t c : word) {
            std::snprintf(unit, sizeof(unit), "%04x", unsigned(c));
            text += unit;
        }
        text += "\n";
    }
    return text;
}

std::wstring tempDirectory(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring dir = std::wstring(base) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

bool writeFile(const std::wstring& path, const std::string& content) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr) &&
                    written == content.size();
    CloseHandle(file);
    return ok;
}

long long fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Offsets of the first and last ciphertext byte and the last signature byte of a protected blob,
// found by walking its documented layout (lengths are little-endian 32-bit fields).
std::vector<std::size_t> tamperOffsets(const std::string& blob) {
    std::size_t at = 44; // version, provider, master key version and id, flags
    auto skipField = [&](std::size_t fixedBefore) {
        at += fixedBefore;
        if (at + 4 > blob.size())
            return std::size_t(0);
        const std::size_t length = std::size_t(static_cast<unsigned char>(blob[at])) |
                                   std::size_t(static_cast<unsigned char>(blob[at + 1])) << 8 |
                                   std::size_t(static_cast<unsigned char>(blob[at + 2])) << 16 |
                                   std::size_t(static_cast<unsigned char>(blob[at + 3])) << 24;
        at += 4 + length;
        return length;
    };
    skipField(0); // description
    skipField(8); // cipher id and key length, then the salt
    skipField(0); // HMAC key
    skipField(8); // hash id and length, then the second HMAC key
    const std::size_t dataLength = skipField(0);
    const std::size_t dataEnd = at;
    const std::size_t signLength = skipField(0);
    if (at != blob.size() || dataLength == 0 || signLength == 0)
        return {};
    return {dataEnd - dataLength, dataEnd - 1, blob.size() - 1};
}

void dpapi() {
    std::string binary;
    for (int i = 0; i < 1000; ++i)
        binary.push_back(char(i * 7));
    const std::string entropy = "Ondivo local secret";
    const struct {
        const char* row;
        std::string plain;
    } rows[] = {
        {"empty", ""}, {"ascii", "hunter2"}, {"utf-8", "\xe5\xaf\x86\xe7\xa0\x81 p@ss"}, {"binary", binary}};
    for (const auto& r : rows) {
        std::string blob, back;
        check(win32::dpapiProtect(r.plain, entropy, L"Ondivo", blob) == 0, "dpapi protect", r.row);
        check(blob.find(r.plain) == std::string::npos || r.plain.empty(), "dpapi plain not in blob", r.row);
        check(win32::dpapiUnprotect(blob, entropy, back) == 0 && back == r.plain, "dpapi round trip", r.row);
        check(win32::dpapiUnprotect(blob, "Ondivo local secreT", back) != 0, "dpapi other entropy refused",
              r.row);
        check(win32::dpapiUnprotect(blob, "", back) != 0, "dpapi no entropy refused", r.row);
        const std::vector<std::size_t> flips = tamperOffsets(blob);
        check(flips.size() == 3, "dpapi blob layout", r.row);
        for (const std::size_t offset : flips) {
            std::string tampered = blob;
            tampered[offset] ^= 0x01;
            check(win32::dpapiUnprotect(tampered, entropy, back) != 0, "dpapi tampered refused", r.row);
        }
    }
    std::string back;
    check(win32::dpapiUnprotect("not a protected blob", entropy, back) != 0, "dpapi garbage refused",
          "garbage");
}

void processWait() {
    using win32::ProcessWaitOutcome;
    {
        Child running;
        check(start(running, standin, {L"--sleep", L"30000"}), "wait", "start sleeper");
        check(win32::waitForProcess(running.info.dwProcessId, 300) == ProcessWaitOutcome::TimedOut, "wait",
              "running process times out");
    }
    {
        // The handle held in Child keeps the id from being reused while the check waits on it.
        Child ending;
        check(start(ending, standin, {L"--sleep", L"400"}), "wait", "start short sleeper");
        check(win32::waitForProcess(ending.info.dwProcessId, 20000) == ProcessWaitOutcome::Exited, "wait",
              "process ending within the limit");
    }
    // Ids that name no process: 0, and one far above any id the system hands out.
    check(win32::waitForProcess(0, 1000) == ProcessWaitOutcome::NotFound, "wait", "id 0");
    check(win32::waitForProcess(0xFFFFFFF0u, 1000) == ProcessWaitOutcome::NotFound, "wait", "unused id");
}

void fileMove() {
    const std::wstring dir = tempDirectory(L"ondivo-move");
    const std::wstring program = dir + L"\\prog.exe";
    const std::wstring aside = dir + L"\\prog.exe.old";
    const std::wstring replacement = dir + L"\\new.bin";
    check(CopyFileW(standin.c_str(), program.c_str(), FALSE), "move", "copy program");
    check(writeFile(replacement, "new version"), "move", "write replacement");
    const long long originalSize = fileSize(program);
    {
        Child running;
        check(start(running, program, {L"--sleep", L"30000"}), "move", "start program");
        check(!CopyFileW(replacement.c_str(), program.c_str(), FALSE), "move",
              "running program not overwritten");
        check(win32::moveEntry(program, aside) == 0, "move", "running program renamed away");
        check(CopyFileW(replacement.c_str(), program.c_str(), TRUE), "move", "new file in its place");
        check(win32::moveEntry(replacement, program) != 0, "move", "existing name never replaced");
        // Roll back while the old program still runs.
        check(DeleteFileW(program.c_str()), "move", "new file removed");
        check(win32::moveEntry(aside, program) == 0, "move", "old program renamed back");
        check(fileSize(program) == originalSize, "move", "old program restored");
    }
    const std::wstring sub = dir + L"\\folder";
    CreateDirectoryW(sub.c_str(), nullptr);
    check(win32::moveEntry(sub, sub + L".old") == 0, "move", "directory renamed away");
    check(win32::moveEntry(sub + L".old", sub) == 0, "move", "directory renamed back");
}

void finalPath() {
    const std::wstring dir = tempDirectory(L"ondivo-inside");
    const std::wstring source = dir + L"\\Source Dir";
    const std::wstring sibling = dir + L"\\Source Dir2";
    CreateDirectoryW(source.c_str(), nullptr);
    CreateDirectoryW((source + L"\\sub").c_str(), nullptr);
    CreateDirectoryW(sibling.c_str(), nullptr);
    writeFile(source + L"\\sub\\file.txt", "x");
    writeFile(sibling + L"\\file.txt", "x");
    wchar_t shortName[MAX_PATH] = {};
    GetShortPathNameW((sibling + L"\\file.txt").c_str(), shortName, MAX_PATH);
    wchar_t shortInside[MAX_PATH] = {};
    GetShortPathNameW((source + L"\\sub\\file.txt").c_str(), shortInside, MAX_PATH);
    std::wstring upper = source;
    for (wchar_t& c : upper)
        c = wchar_t(towupper(c));
    check(std::wstring(shortName).find(L"Source Dir2") == std::wstring::npos, "inside", "8.3 name differs");
    const struct {
        const char* row;
        std::wstring path;
        std::wstring directory;
        bool inside;
    } rows[] = {
        {"file below", source + L"\\sub\\file.txt", source, true},
        {"directory itself", source, source, true},
        {"sibling with longer name", sibling + L"\\file.txt", source, false},
        {"sibling directory", sibling, source, false},
        {"dot-dot out to the sibling", source + L"\\..\\Source Dir2\\file.txt", source, false},
        {"dot-dot staying inside", source + L"\\sub\\..\\sub\\file.txt", source, true},
        {"parent is not inside", dir, source, false},
        {"other letter case", upper + L"\\SUB\\FILE.TXT", source, true},
        {"8.3 name of the sibling", shortName, source, false},
        {"8.3 name inside", shortInside, source, true},
        {"missing path", source + L"\\missing.txt", source, false},
    };
    for (const auto& r : rows)
        check(win32::isInsideDirectory(r.path, r.directory) == r.inside, "inside", r.row);
    check(win32::finalPath(shortInside) == win32::finalPath(source + L"\\sub\\file.txt"), "final path",
          "8.3 name expanded");
}

void quoting() {
    const std::vector<std::vector<std::wstring>> rows = {
        {L"plain", L"two words", L""},
        {L"say \"hi\"", L"\"", L"\"\""},
        {L"C:\\dir with blank\\", L"trailing\\", L"C:\\no_blank\\"},
        {L"a\\\\\"b", L"\\\\\"", L"\\\\server\\share"},
        {L"tab\there", L"new\nline", L"UserKnownHostsFile=\\\\.\\NUL"},
        {L"\x4e2d\x6587 \x53c2\x6570", L"-o", L"x=\"y z\"\\"},
    };
    for (const auto& arguments : rows) {
        Child child;
        std::vector<std::wstring> withFlag = {L"--print"};
        withFlag.insert(withFlag.end(), arguments.begin(), arguments.end());
        if (!start(child, standin, withFlag, true)) {
            check(false, "quoting", "start");
            continue;
        }
        const std::string printed = readAll(child.output);
        WaitForSingleObject(child.info.hProcess, 10000);
        check(printed == hexLines(arguments), "quoting", "arguments arrive unchanged");
        if (printed != hexLines(arguments))
            std::printf("  got:\n%s  want:\n%s", printed.c_str(), hexLines(arguments).c_str());
    }
}

void jobs() {
    {
        DWORD error = 0;
        HANDLE job = win32::createKillOnCloseJob(&error);
        check(job != nullptr, "job", "created");
        STARTUPINFOW base{};
        base.cb = sizeof(base);
        win32::JobStartupInfo startup;
        check(startup.prepare(base, job) == 0, "job", "start-up information");
        Child child;
        check(start(child, standin, {L"--sleep", L"30000"}, false, startup.startupInfo(),
                    EXTENDED_STARTUPINFO_PRESENT),
              "job", "child started in the job");
        BOOL inJob = FALSE;
        check(IsProcessInJob(child.info.hProcess, job, &inJob) && inJob, "job", "child is in the job");
        check(WaitForSingleObject(child.info.hProcess, 300) == WAIT_TIMEOUT, "job", "child runs");
        CloseHandle(job);
        check(WaitForSingleObject(child.info.hProcess, 10000) == WAIT_OBJECT_0, "job",
              "closing the job ends the child");
    }
    {
        // The lifetime job of a process that is killed ends that process's child too.
        Child parent;
        check(start(parent, standin, {L"--job-parent"}, true), "job", "parent started");
        std::string line;
        char c = 0;
        DWORD got = 0;
        while (ReadFile(parent.output, &c, 1, &got, nullptr) && got == 1 && c != '\n')
            line.push_back(c);
        HANDLE grandchild = OpenProcess(SYNCHRONIZE, FALSE, DWORD(std::strtoul(line.c_str(), nullptr, 10)));
        check(grandchild != nullptr, "job", "parent's child found");
        if (!grandchild)
            return;
        check(WaitForSingleObject(grandchild, 300) == WAIT_TIMEOUT, "job", "parent's child runs");
        TerminateProcess(parent.info.hProcess, 9);
        check(WaitForSingleObject(grandchild, 10000) == WAIT_OBJECT_0, "job",
              "killed parent takes its child along");
        CloseHandle(grandchild);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: win32_cores_test <dpapi|wait|move|inside|quoting|job> <standin.exe>\n");
        return 2;
    }
    const std::wstring area = argv[1];
    wchar_t full[MAX_PATH];
    GetFullPathNameW(argv[2], MAX_PATH, full, nullptr);
    standin = full;
    if (area == L"dpapi")
        dpapi();
    else if (area == L"wait")
        processWait();
    else if (area == L"move")
        fileMove();
    else if (area == L"inside")
        finalPath();
    else if (area == L"quoting")
        quoting();
    else if (area == L"job")
        jobs();
    else
        return 2;
    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "PASSED", failures);
    return failures ? 1 : 0;
}
