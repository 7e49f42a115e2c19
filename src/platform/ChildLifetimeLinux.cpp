#include "platform/ChildLifetime.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace platform {

void tieChildToThisProcess(QProcess& process) {
    const pid_t parent = ::getpid();
    // Runs in the child between fork and exec: only async-signal-safe calls. The kernel sends SIGKILL when
    // the thread that forked ends; a parent that died before prctl took effect is caught by the pid check
    // (the child then has been re-parented already).
    process.setChildProcessModifier([parent] {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(127);
    });
}

} // namespace platform
