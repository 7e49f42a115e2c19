#include "ZipBuilder.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

namespace {

la_ssize_t appendToBuffer(archive*, void* client, const void* buffer, size_t length) {
    static_cast<QByteArray*>(client)->append(static_cast<const char*>(buffer), qsizetype(length));
    return la_ssize_t(length);
}

} // namespace

QByteArray buildZip(const QList<ZipEntry>& entries) {
    QByteArray out;
    archive* writer = archive_write_new();
    archive_write_set_format_zip(writer);
    archive_write_open(writer, &out, nullptr, appendToBuffer, nullptr);
    for (const ZipEntry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_copy_pathname(entry, e.name.toUtf8().constData());
        if (!e.symlinkTarget.isEmpty()) {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_copy_symlink(entry, e.symlinkTarget.toUtf8().constData());
            archive_entry_set_perm(entry, 0777);
        } else if (!e.hardlinkTarget.isEmpty()) {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_copy_hardlink(entry, e.hardlinkTarget.toUtf8().constData());
            archive_entry_set_perm(entry, 0644);
        } else if (e.directory) {
            archive_entry_set_filetype(entry, AE_IFDIR);
            archive_entry_set_perm(entry, 0755);
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, e.mode);
            archive_entry_set_size(entry, e.data.size());
        }
        archive_write_header(writer, entry);
        if (!e.data.isEmpty() && e.symlinkTarget.isEmpty() && e.hardlinkTarget.isEmpty())
            archive_write_data(writer, e.data.constData(), size_t(e.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return out;
}

bool writeZip(const QString& path, const QList<ZipEntry>& entries) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(buildZip(entries)) >= 0;
}

QByteArray standInProgram(const QString& recordPath, const QString& release) {
    return QStringLiteral("#!/bin/sh\n# release %1\n{ pwd; printf '%s\\n' \"$@\"; echo end; } >> '%2'\n")
        .arg(release, recordPath)
        .toUtf8();
}
