#include "updater/WorkDirCleanup.h"

#include "updater/DirectoryCopy.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace updater {
namespace {

constexpr char kRunnerFolderName[] = "runner";
constexpr char kExtractFolderName[] = "extract";
constexpr QDir::Filters kEverything = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

QString cleanAbsolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool isRealFolder(const QFileInfo& info) {
    return info.isDir() && !info.isSymLink();
}

// Whether folder is path or one of its parents.
bool holds(const QString& folder, const QString& path) {
    const QString f = cleanAbsolute(folder);
    const QString p = cleanAbsolute(path);
    return p == f || p.startsWith(f + QLatin1Char('/'));
}

bool holdsAny(const QString& folder, const QStringList& paths) {
    return std::any_of(paths.cbegin(), paths.cend(),
                       [&](const QString& path) { return !path.isEmpty() && holds(folder, path); });
}

QFileInfoList versionFolders(const QString& workDirectory) {
    QFileInfoList folders;
    for (const QFileInfo& entry :
         QDir(workDirectory).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (isVersionFolder(entry.absoluteFilePath()))
            folders << entry;
    }
    return folders;
}

bool removeEntry(const QFileInfo& entry) {
    return isRealFolder(entry) ? removeTree(entry.absoluteFilePath())
                               : QFile::remove(entry.absoluteFilePath());
}

} // namespace

bool isVersionFolder(const QString& path) {
    const QFileInfo info(path);
    if (!isRealFolder(info) || info.fileName() == QLatin1String(kRunnerFolderName))
        return false;
    const QString name = info.fileName();
    return (!name.isEmpty() && name.front().isDigit()) ||
           isRealFolder(QFileInfo(path + QLatin1Char('/') + QLatin1String(kExtractFolderName))) ||
           isRealFolder(QFileInfo(path + QLatin1Char('/') + QLatin1String(kBackupFolderName)));
}

QString newestBackup(const QString& workDirectory, const QString& except) {
    QString newest;
    QDateTime newestTime;
    for (const QFileInfo& folder : versionFolders(workDirectory)) {
        const QFileInfo backup(folder.absoluteFilePath() + QLatin1Char('/') +
                               QLatin1String(kBackupFolderName));
        if (!isRealFolder(backup) ||
            (!except.isEmpty() && cleanAbsolute(backup.filePath()) == cleanAbsolute(except)))
            continue;
        if (newest.isEmpty() || backup.lastModified() > newestTime) {
            newest = cleanAbsolute(backup.filePath());
            newestTime = backup.lastModified();
        }
    }
    return newest;
}

QStringList cleanWorkDirectory(const QString& workDirectory, const QString& keepBackup,
                               const QStringList& keepAway) {
    QStringList left;
    for (const QFileInfo& folder : versionFolders(workDirectory)) {
        if (holdsAny(folder.absoluteFilePath(), keepAway))
            continue;
        const QString backup =
            folder.absoluteFilePath() + QLatin1Char('/') + QLatin1String(kBackupFolderName);
        if (keepBackup.isEmpty() || cleanAbsolute(backup) != cleanAbsolute(keepBackup)) {
            if (!removeEntry(folder))
                left << folder.absoluteFilePath();
            continue;
        }
        for (const QFileInfo& item : QDir(folder.absoluteFilePath()).entryInfoList(kEverything)) {
            if (item.fileName() == QLatin1String(kBackupFolderName) && isRealFolder(item))
                continue;
            if (!removeEntry(item))
                left << item.absoluteFilePath();
        }
    }
    return left;
}

} // namespace updater
