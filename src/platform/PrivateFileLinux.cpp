#include "platform/PrivateFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool fail(QString* error, const QString& what) {
    if (error)
        *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool writeAll(int fd, const QByteArray& content) {
    const char* data = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

bool writePrivateFile(const QString& path, const QByteArray& content, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    // Whatever was there (a file someone else could read, a link planted to redirect the write) goes
    // first; O_EXCL|O_NOFOLLOW then refuses anything that appears in between.
    if (::unlink(name.constData()) != 0 && errno != ENOENT)
        return fail(error, QStringLiteral("cannot replace ") + path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(error, QStringLiteral("cannot create ") + path);
    // The mode given to open() is narrowed by the umask, never widened; this makes it exactly 0600.
    bool ok = ::fchmod(fd, 0600) == 0 || fail(error, QStringLiteral("cannot protect ") + path);
    ok = ok && (writeAll(fd, content) || fail(error, QStringLiteral("cannot write ") + path));
    ok = (::close(fd) == 0 || fail(error, QStringLiteral("cannot write ") + path)) && ok;
    if (!ok)
        ::unlink(name.constData());
    return ok;
}

} // namespace platform
