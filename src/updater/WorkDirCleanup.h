#pragma once

#include <QString>
#include <QStringList>

namespace updater {

// The folder inside each version folder that holds the files an update replaced.
inline constexpr char kBackupFolderName[] = "backup";

// A folder of the work directory this updater made for one version: a real folder (no link) whose name
// starts with a digit or that holds an "extract" or "backup" folder; never the runner folder.
bool isVersionFolder(const QString& path);

// The newest "<version folder>/backup" below the work directory (by modification time), leaving out
// except; empty when there is none.
QString newestBackup(const QString& workDirectory, const QString& except = QString());

// What ended updates leave behind, successful or not: every version folder goes with its packages and
// unpacked files, except keepBackup (none kept when empty), which stays alone in its version folder.
// Other entries of the work directory (the runner, the log, anything not made here) and every folder
// that is or holds one of keepAway (the installation) stay. Links are removed, never followed. Returns
// the paths it could not remove.
QStringList cleanWorkDirectory(const QString& workDirectory, const QString& keepBackup,
                               const QStringList& keepAway);

} // namespace updater
