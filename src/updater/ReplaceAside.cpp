#include "updater/ReplaceAside.h"

#include "platform/FileMove.h"
#include "updater/DirectoryCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace updater {
namespace {

constexpr QDir::Filters kAllEntries = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

QStringList entryNames(const QString& directory) {
    QStringList names = QDir(directory).entryList(kAllEntries, QDir::NoSort);
    names.removeAll(QString::fromLatin1(kReplacedFolder));
    return names;
}

bool moveBack(const QString& target, const QStringList& names) {
    const QString held = replacedFolder(target);
    bool ok = true;
    for (const QString& name : names)
        ok = platform::moveEntry(held + QLatin1Char('/') + name, target + QLatin1Char('/') + name) && ok;
    return ok;
}

} // namespace

QString replacedFolder(const QString& target) {
    return target + QLatin1Char('/') + QString::fromLatin1(kReplacedFolder);
}

bool moveEntriesAside(const QString& target, QString* error) {
    const QString held = replacedFolder(target);
    if (!QDir().mkpath(held)) {
        *error = QStringLiteral("无法移开旧文件: ") + held;
        return false;
    }
    QStringList moved;
    for (const QString& name : entryNames(target)) {
        const QString from = target + QLatin1Char('/') + name;
        if (!platform::moveEntry(from, held + QLatin1Char('/') + name)) {
            moveBack(target, moved);
            QDir().rmdir(held);
            *error = QStringLiteral("无法移开旧文件: ") + from;
            return false;
        }
        moved << name;
    }
    return true;
}

bool restoreEntries(const QString& target) {
    const QString held = replacedFolder(target);
    // What the failed copy left is new and not in use: it can simply go.
    for (const QString& name : entryNames(target)) {
        const QString path = target + QLatin1Char('/') + name;
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
            removeTree(path);
        else
            QFile::remove(path);
    }
    const bool ok = moveBack(target, QDir(held).entryList(kAllEntries, QDir::NoSort));
    return QDir().rmdir(held) && ok;
}

} // namespace updater
