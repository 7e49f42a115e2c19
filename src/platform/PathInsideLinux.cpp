#include "platform/PathInside.h"

#include <QFileInfo>

namespace platform {

bool isInsideDirectory(const QString& path, const QString& directory) {
    const QString p = QFileInfo(path).canonicalFilePath();
    const QString d = QFileInfo(directory).canonicalFilePath();
    if (p.isEmpty() || d.isEmpty())
        return false;
    if (p == d)
        return true;
    return p.startsWith(d.endsWith(QLatin1Char('/')) ? d : d + QLatin1Char('/'));
}

} // namespace platform
