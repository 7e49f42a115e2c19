#pragma once

#include <windows.h>

#include <vector>

// Job objects that end their processes when the last handle to the job closes: the system closes
// this process's handles when it ends, however it ends (crash and kill included), so a child placed in
// such a job cannot outlive it. Plain C++ and Win32.
namespace win32 {

// A new job with JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE; nullptr and error set on failure.
HANDLE createKillOnCloseJob(DWORD* error);

// The one such job this process holds for its whole life (created on first use and never closed).
HANDLE lifetimeJob(DWORD* error);

// Start-up information that places the new process in a job as it is created, before it runs an
// instruction (so not even a grandchild it starts at once escapes). Pass startupInfo() to
// CreateProcessW with EXTENDED_STARTUPINFO_PRESENT; the object must live until CreateProcessW returns.
class JobStartupInfo {
public:
    JobStartupInfo() = default;
    ~JobStartupInfo();
    JobStartupInfo(const JobStartupInfo&) = delete;
    JobStartupInfo& operator=(const JobStartupInfo&) = delete;

    // Copies base (standard handles, window flags) and adds the job. Returns 0 or the error code.
    DWORD prepare(const STARTUPINFOW& base, HANDLE job);
    STARTUPINFOW* startupInfo() { return &info_.StartupInfo; }

private:
    STARTUPINFOEXW info_{};
    std::vector<unsigned char> attributes_;
    HANDLE job_ = nullptr; // the attribute list points at this member
    bool initialized_ = false;
};

} // namespace win32
