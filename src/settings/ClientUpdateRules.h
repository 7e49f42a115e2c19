#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Widget-free rules of the version label and of the hand-over to the updater program.
namespace clientupdate {

// True when the manifest names any version other than this client's (plain string comparison, so a
// lower version counts too); an empty manifest version is no update.
bool updateAvailable(const QString& manifestVersion);

// The label's rich text: a "client-update" link reading "有新版本 v<manifest>" when an update is
// available, else "v<built-in version>".
QString versionLabelText(const QString& manifestVersion);

// "版本信息已刷新：客户端 %1，Agent %2" with "--" for a missing version.
QString versionRefreshedText(const QString& clientVersion, const QString& agentVersion);

// "当前客户端版本 v" + the built-in version.
QString currentVersionText();

// What the updater needs to replace this client and relaunch it.
struct UpdaterLaunch {
    QString manifestUrl;     // Cloud API base + client manifest path
    QString targetDirectory; // the client's application directory
    QString executableName;  // file name of the running client, without directory
    qint64 processId = 0;    // the client's process id
    QString workDirectory;   // local application data + "/updates"
    QString logFile;         // application data + "/update.log"
};

// The updater's command line, in the order the updater documents its options.
QStringList updaterArguments(const UpdaterLaunch& launch);

// The launch description of this running client, with the given application directory and program.
UpdaterLaunch launchFor(const QString& applicationDirectory, const QString& executablePath, qint64 processId);

// The updater program beside the client: "OndivoUpdater.exe" on Windows, "OndivoUpdater" elsewhere.
QString updaterProgramPath(const QString& applicationDirectory);

} // namespace clientupdate
