#include "platform/win32/KillOnCloseJob.h"

#include <mutex>

namespace win32 {

HANDLE createKillOnCloseJob(DWORD* error) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) {
        *error = GetLastError();
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        *error = GetLastError();
        CloseHandle(job);
        return nullptr;
    }
    *error = 0;
    return job;
}

HANDLE lifetimeJob(DWORD* error) {
    static std::once_flag once;
    static HANDLE job = nullptr;
    static DWORD creationError = 0;
    std::call_once(once, [] { job = createKillOnCloseJob(&creationError); });
    *error = creationError;
    return job;
}

JobStartupInfo::~JobStartupInfo() {
    if (initialized_)
        DeleteProcThreadAttributeList(info_.lpAttributeList);
}

DWORD JobStartupInfo::prepare(const STARTUPINFOW& base, HANDLE job) {
    if (initialized_ || !job)
        return ERROR_INVALID_PARAMETER;
    info_.StartupInfo = base;
    info_.StartupInfo.cb = sizeof(info_);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributes_.assign(size, 0);
    info_.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes_.data());
    if (!InitializeProcThreadAttributeList(info_.lpAttributeList, 1, 0, &size))
        return GetLastError();
    initialized_ = true;
    job_ = job;
    if (!UpdateProcThreadAttribute(info_.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job_,
                                   sizeof(job_), nullptr, nullptr))
        return GetLastError();
    return 0;
}

} // namespace win32
