#include "platform/PidWait.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <limits>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

bool processExists(pid_t pid) {
    // EPERM means the process exists but belongs to someone else.
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Kernels before 5.3 have no pidfd_open: fall back to asking for the process now and then.
PidWaitResult pollUntilGone(pid_t pid, int timeoutMs) {
    if (!processExists(pid))
        return PidWaitResult::NotFound;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QThread::msleep(50);
        if (!processExists(pid))
            return PidWaitResult::Exited;
    }
    return PidWaitResult::TimedOut;
}

} // namespace

PidWaitResult waitForProcessExit(quint32 pid, int timeoutMs) {
    // pid_t is signed: ids that do not fit (or 0, this process group) name no single process.
    if (pid == 0 || pid > quint32(std::numeric_limits<pid_t>::max()))
        return PidWaitResult::NotFound;
#ifdef SYS_pidfd_open
    const int fd = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (fd < 0) {
        if (errno == ESRCH)
            return PidWaitResult::NotFound;
        return pollUntilGone(pid_t(pid), timeoutMs);
    }
    // The descriptor becomes readable when the process ends, whoever its parent is.
    pollfd item{fd, POLLIN, 0};
    QDeadlineTimer deadline(timeoutMs);
    int ready = 0;
    do {
        ready = ::poll(&item, 1, int(qMax<qint64>(0, deadline.remainingTime())));
    } while (ready < 0 && errno == EINTR);
    ::close(fd);
    return ready > 0 ? PidWaitResult::Exited : PidWaitResult::TimedOut;
#else
    return pollUntilGone(pid_t(pid), timeoutMs);
#endif
}

} // namespace platform
