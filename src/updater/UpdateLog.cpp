#include "updater/UpdateLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace updater {

void appendUpdateLog(const QString& path, const QString& text) {
    if (path.isEmpty())
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                         QLatin1Char(' ') + text + QLatin1Char('\n');
    file.write(line.toUtf8());
}

} // namespace updater
