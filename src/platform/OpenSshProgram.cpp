#include "platform/OpenSshProgram.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace platform {
namespace {

QString firstOnPath(const QString& name) {
    return QStandardPaths::findExecutable(name);
}

} // namespace

QString findOpenSshProgram(const QString& name, const QString& systemRoot,
                           QString (*findOnPath)(const QString& name)) {
    if (!systemRoot.isEmpty()) {
        const QString shipped =
            systemRoot + QStringLiteral("/System32/OpenSSH/") + name + QStringLiteral(".exe");
        if (QFileInfo(shipped).isFile())
            return QFileInfo(shipped).absoluteFilePath();
    }
    return findOnPath(name);
}

QString openSshProgram(const QString& name) {
#ifdef Q_OS_WIN
    const QString found = findOpenSshProgram(name, qEnvironmentVariable("SystemRoot"), firstOnPath);
    return found.isEmpty() ? name + QStringLiteral(".exe") : found;
#else
    Q_UNUSED(firstOnPath);
    return name;
#endif
}

} // namespace platform
