#include "settings/ClientUpdateRules.h"

#include "app/AppConstants.h"
#include "app/DataPaths.h"

#include <QDir>
#include <QFileInfo>

namespace clientupdate {

bool updateAvailable(const QString& manifestVersion) {
    return !manifestVersion.isEmpty() && manifestVersion != QLatin1String(app::kClientVersion);
}

QString versionLabelText(const QString& manifestVersion) {
    const QString shown = updateAvailable(manifestVersion)
                              ? QStringLiteral("有新版本 v%1").arg(manifestVersion)
                              : QStringLiteral("v%1").arg(QLatin1String(app::kClientVersion));
    return QStringLiteral("<a href=\"client-update\" style=\"text-decoration:none; color:#005fb8;\">%1</a>")
        .arg(shown.toHtmlEscaped());
}

QString versionRefreshedText(const QString& clientVersion, const QString& agentVersion) {
    const auto orDashes = [](const QString& version) {
        return version.isEmpty() ? QStringLiteral("--") : version;
    };
    return QStringLiteral("版本信息已刷新：客户端 %1，Agent %2")
        .arg(orDashes(clientVersion), orDashes(agentVersion));
}

QString currentVersionText() {
    return QStringLiteral("当前客户端版本 v") + QLatin1String(app::kClientVersion);
}

QStringList updaterArguments(const UpdaterLaunch& launch) {
    return {QStringLiteral("--manifest-url"), launch.manifestUrl,
            QStringLiteral("--target"),       launch.targetDirectory,
            QStringLiteral("--exe"),          launch.executableName,
            QStringLiteral("--pid"),          QString::number(launch.processId),
            QStringLiteral("--work-dir"),     launch.workDirectory,
            QStringLiteral("--log"),          launch.logFile};
}

UpdaterLaunch launchFor(const QString& applicationDirectory, const QString& executablePath,
                        qint64 processId) {
    UpdaterLaunch launch;
    launch.manifestUrl = app::cloudApiBaseUrl() + QLatin1String(app::kClientManifestPath);
    launch.targetDirectory = applicationDirectory;
    launch.executableName = QFileInfo(executablePath).fileName();
    launch.processId = processId;
    launch.workDirectory = app::localAppDataDirectory() + QStringLiteral("/updates");
    launch.logFile = app::appDataDirectory() + QStringLiteral("/update.log");
    return launch;
}

QString updaterProgramPath(const QString& applicationDirectory) {
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("OndivoUpdater.exe");
#else
    const QString name = QStringLiteral("OndivoUpdater");
#endif
    return QDir(applicationDirectory).filePath(name);
}

} // namespace clientupdate
