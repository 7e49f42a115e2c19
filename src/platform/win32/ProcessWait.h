#pragma once

// Waiting for another process to end, by its id. Plain C++ and Win32.
namespace win32 {

enum class ProcessWaitOutcome {
    Exited,   // the process ended within the limit
    NotFound, // no process has this id (it already ended)
    TimedOut, // still running at the limit, or running and not ours to wait on
};

// Blocks for at most timeoutMs.
ProcessWaitOutcome waitForProcess(unsigned long processId, unsigned long timeoutMs);

} // namespace win32
