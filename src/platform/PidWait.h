#pragma once

#include <QtGlobal>

namespace platform {

enum class PidWaitResult {
    Exited,   // the process ended within the time limit
    NotFound, // no such process (already gone): nothing to wait for
    TimedOut, // still running when the limit passed
};

// Waits for the process with this id to end, for at most timeoutMs. Blocks the calling thread.
PidWaitResult waitForProcessExit(quint32 pid, int timeoutMs);

} // namespace platform
