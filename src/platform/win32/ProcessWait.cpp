#include "platform/win32/ProcessWait.h"

#include <windows.h>

namespace win32 {

ProcessWaitOutcome waitForProcess(unsigned long processId, unsigned long timeoutMs) {
    // Id 0 is the idle process, never a program to wait for.
    if (processId == 0)
        return ProcessWaitOutcome::NotFound;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process) {
        // Only "no such process" means gone; access denied means it runs under someone else, and
        // whatever replaces files under it must not assume it ended.
        return GetLastError() == ERROR_INVALID_PARAMETER ? ProcessWaitOutcome::NotFound
                                                         : ProcessWaitOutcome::TimedOut;
    }
    const DWORD result = WaitForSingleObject(process, timeoutMs);
    CloseHandle(process);
    return result == WAIT_OBJECT_0 ? ProcessWaitOutcome::Exited : ProcessWaitOutcome::TimedOut;
}

} // namespace win32
