#include "UpdateScenario.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

void writeFile(const QString& path, const QByteArray& data, bool executable) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(data);
    f.close();
    QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    if (executable)
        perms |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QFile::setPermissions(path, perms);
}

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

int permissionBits(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

bool setModifiedTime(const QString& path, qint64 secondsSinceEpoch) {
    const timespec times[2] = {{secondsSinceEpoch, 0}, {secondsSinceEpoch, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

UpdateScenario::UpdateScenario(const QString& rootDirectory, const QString& targetName)
    : root(rootDirectory), target(rootDirectory + "/" + targetName), workDir(rootDirectory + "/work"),
      logPath(rootDirectory + "/logs/update.log"), record(rootDirectory + "/started.txt"),
      exe(QStringLiteral("Ondivo")) {
}

void UpdateScenario::installOldRelease() {
    writeFile(target + "/" + exe, standInProgram(record, "1.0"), true);
    writeFile(target + "/libold.so.1", "old library", false);
    QFile::setPermissions(target + "/libold.so.1", QFile::ReadOwner | QFile::WriteOwner); // 0600
    writeFile(target + "/.portable", "keep settings beside the program", false);
    writeFile(target + "/data/profiles/p1.json", "{\"old\":true}", false);
    writeFile(target + "/OndivoUpdater", "old updater", true);
}

QList<ZipEntry> UpdateScenario::newReleaseEntries() const {
    return {{exe, standInProgram(record, "2.0"), 0755},
            {"OndivoUpdater", "new updater", 0755},
            {"platforms/libqoffscreen.so", QByteArray(300000, 'p'), 0644},
            {"libnew.so.2", "new library", 0644}};
}

TreeSnapshot UpdateScenario::expectedNewRelease(const QList<ZipEntry>& entries) {
    TreeSnapshot tree;
    for (const ZipEntry& e : entries) {
        if (!e.directory)
            tree.insert(e.name, {e.data, e.mode | 0600});
    }
    return tree;
}

TreeSnapshot UpdateScenario::snapshotTarget() const {
    return snapshotTree(target);
}

QStringList UpdateScenario::logTexts() const {
    QStringList texts;
    for (const QString& line : readLines(logPath))
        texts << line.mid(20);
    return texts;
}

QStringList UpdateScenario::recordedStarts() const {
    return readLines(record);
}

TreeSnapshot snapshotTree(const QString& directory) {
    TreeSnapshot tree;
    QDirIterator it(directory, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    const QDir base(directory);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        tree.insert(base.relativeFilePath(path), {f.readAll(), permissionBits(path)});
    }
    return tree;
}

QByteArray randomPayload(qint64 size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
