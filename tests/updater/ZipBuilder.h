#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Builds real zip archives for the updater's tests, including hostile ones.
struct ZipEntry {
    QString name;
    QByteArray data;
    int mode = 0644;
    QString symlinkTarget; // non-empty: a symbolic link entry
    bool directory = false;
    QString hardlinkTarget; // non-empty: a hard link entry
};

QByteArray buildZip(const QList<ZipEntry>& entries);
bool writeZip(const QString& path, const QList<ZipEntry>& entries);

// A small shell program standing in for the installed client: when started it appends its working
// directory and its arguments to recordPath.
QByteArray standInProgram(const QString& recordPath, const QString& release);
