#include "platform/PidWait.h"

#include "platform/win32/ProcessWait.h"

namespace platform {

PidWaitResult waitForProcessExit(quint32 pid, int timeoutMs) {
    switch (win32::waitForProcess(pid, static_cast<unsigned long>(qMax(0, timeoutMs)))) {
    case win32::ProcessWaitOutcome::Exited:
        return PidWaitResult::Exited;
    case win32::ProcessWaitOutcome::NotFound:
        return PidWaitResult::NotFound;
    case win32::ProcessWaitOutcome::TimedOut:
        break;
    }
    return PidWaitResult::TimedOut;
}

} // namespace platform
