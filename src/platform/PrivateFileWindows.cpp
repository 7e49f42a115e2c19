#include "platform/PrivateFile.h"

#include "platform/win32/PrivateFile.h"

#include <QDir>

#include <system_error>

namespace platform {

bool writePrivateFile(const QString& path, const QByteArray& content, QString* error) {
    const unsigned long code =
        win32::writePrivateFile(QDir::toNativeSeparators(path).toStdWString(), content.toStdString());
    if (code == 0)
        return true;
    if (error)
        *error = QString::fromStdString(std::system_category().message(int(code))) +
                 QStringLiteral(" (%1)").arg(code);
    return false;
}

} // namespace platform
