#include "platform/PathInside.h"

#include "platform/win32/FinalPath.h"

#include <QDir>

namespace platform {

bool isInsideDirectory(const QString& path, const QString& directory) {
    return win32::isInsideDirectory(QDir::toNativeSeparators(path).toStdWString(),
                                    QDir::toNativeSeparators(directory).toStdWString());
}

} // namespace platform
