#include "app/DataPaths.h"

#include "app/AppConstants.h"
#include "app/Settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace app {
namespace {

// Built from the generic location rather than the application's own names, so the updater and the
// tests (whose application names differ) resolve the same directories as the client.
QString ondivoDirectoryBelow(QStandardPaths::StandardLocation base) {
    const QString root = QStandardPaths::writableLocation(base);
    return QDir::cleanPath(root + QLatin1Char('/') + QLatin1String(kOrganizationName) + QLatin1Char('/') +
                           QLatin1String(kApplicationName));
}

} // namespace

QString appDataDirectory() {
    return ondivoDirectoryBelow(QStandardPaths::GenericDataLocation);
}

QString localAppDataDirectory() {
    return ondivoDirectoryBelow(QStandardPaths::GenericDataLocation);
}

QString dataDirectory() {
    QString path = settings::dataDirSetting().trimmed();
    if (path.isEmpty())
        path = appDataDirectory() + QStringLiteral("/data");
    path = QDir::cleanPath(QDir::fromNativeSeparators(path));
    QDir().mkpath(path);
    return path;
}

QString logFilePath() {
    return appDataDirectory() + QStringLiteral("/ondivo.log");
}

void appendLog(const QString& text) {
    QDir().mkpath(appDataDirectory());
    QFile file(logFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODate);
    file.write((stamp + QLatin1Char(' ') + text + QLatin1Char('\n')).toUtf8());
}

} // namespace app
