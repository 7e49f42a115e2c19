#pragma once

#include "ZipBuilder.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// A temporary installation of the client and the files an update run leaves, for the updater's
// pipeline and end-to-end tests.
struct InstalledFile {
    QByteArray data;
    int mode = 0; // permission bits

    bool operator==(const InstalledFile& other) const = default;
};
using TreeSnapshot = QMap<QString, InstalledFile>; // relative path -> content

struct UpdateScenario {
    QString root;   // everything lives below this folder
    QString target; // the installation
    QString workDir;
    QString logPath;
    QString record; // where the stand-in program records its starts
    QString exe;

    explicit UpdateScenario(const QString& rootDirectory,
                            const QString& targetName = QStringLiteral("install"));

    // The old release: the program, a library, a hidden file and a nested data file.
    void installOldRelease();
    // The new release's entries: program (executable) at the top, plus a plugin file.
    QList<ZipEntry> newReleaseEntries() const;
    static TreeSnapshot expectedNewRelease(const QList<ZipEntry>& entries);

    TreeSnapshot snapshotTarget() const;
    // Log lines without their time stamps.
    QStringList logTexts() const;
    QStringList recordedStarts() const;
};

TreeSnapshot snapshotTree(const QString& directory);

// The file's mode bits (07777), -1 when it cannot be read.
int permissionBits(const QString& path);
// Sets a file's or directory's modification (and access) time.
bool setModifiedTime(const QString& path, qint64 secondsSinceEpoch);

// Bytes that neither compress nor repeat, the same for the same seed.
QByteArray randomPayload(qint64 size, quint32 seed = 7);
// The whole file, or empty when it cannot be read.
QByteArray fileBytes(const QString& path);
