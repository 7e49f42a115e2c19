#include "platform/FileMove.h"

#include "platform/win32/FileMove.h"

#include <QDir>

#include <system_error>

namespace platform {

bool moveEntry(const QString& from, const QString& to, QString* error) {
    const unsigned long code = win32::moveEntry(QDir::toNativeSeparators(from).toStdWString(),
                                                QDir::toNativeSeparators(to).toStdWString());
    if (code == 0)
        return true;
    if (error)
        *error = QString::fromStdString(std::system_category().message(int(code)));
    return false;
}

} // namespace platform
