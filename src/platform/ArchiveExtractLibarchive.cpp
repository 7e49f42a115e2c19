#include "platform/ArchiveExtract.h"

#include <QFile>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>
#include <memory>

namespace platform {
namespace {

using ArchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;
using ArchiveWriter = std::unique_ptr<archive, decltype(&archive_write_free)>;

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

QString libarchiveError(archive* a) {
    const char* text = archive_error_string(a);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown archive error");
}

// Archives made on Windows may separate folders with backslashes; they mean folders there too.
QString normalisedEntryName(archive_entry* entry) {
    const char* utf8 = archive_entry_pathname_utf8(entry);
    QString name = utf8 ? QString::fromUtf8(utf8) : QString::fromLocal8Bit(archive_entry_pathname(entry));
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return name;
}

QString expandsTooFarText(qint64 maxBytes) {
    return QStringLiteral("archive expands beyond %1 bytes").arg(maxBytes);
}

// Copies the entry's data while counting it against what is left of the byte limit: the sizes in the
// archive's headers may lie, the data cannot.
bool copyEntryData(archive* reader, archive* writer, qint64& bytesLeft, qint64 maxBytes, QString* error) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int r = archive_read_data_block(reader, &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            return true;
        if (r < ARCHIVE_WARN) {
            setError(error, libarchiveError(reader));
            return false;
        }
        bytesLeft -= qint64(size);
        if (bytesLeft < 0) {
            setError(error, expandsTooFarText(maxBytes));
            return false;
        }
        if (archive_write_data_block(writer, block, size, offset) < ARCHIVE_WARN) {
            setError(error, libarchiveError(writer));
            return false;
        }
    }
}

QString refusalReason(archive_entry* entry, const QString& name) {
    if (!isSafeEntryName(name))
        return QStringLiteral("unsafe entry name: ") + name;
    if (archive_entry_hardlink(entry))
        return QStringLiteral("hard link entry refused: ") + name;
    const auto type = archive_entry_filetype(entry);
    if (type != AE_IFREG && type != AE_IFDIR)
        return QStringLiteral("link or special entry refused: ") + name;
    return {};
}

// Owner access whatever the archive says: a directory without x cannot be entered, a file without
// rw cannot be replaced by the next update.
void grantOwnerAccess(archive_entry* entry) {
    const bool directory = archive_entry_filetype(entry) == AE_IFDIR;
    archive_entry_set_perm(entry, archive_entry_perm(entry) | (directory ? 0700 : 0600));
}

} // namespace

bool isSafeEntryName(const QString& rawName) {
    QString name = rawName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return false;
    if (name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter())
        return false;
    const QStringList segments = name.split(QLatin1Char('/'));
    for (const QString& segment : segments) {
        if (segment == QLatin1String(".."))
            return false;
    }
    return true;
}

bool extractZipArchive(const QString& archivePath, const QString& destinationDirectory, QString* error,
                       const ExtractLimits& limits) {
    ArchiveReader reader(archive_read_new(), &archive_read_free);
    archive_read_support_format_zip(reader.get());
    ArchiveWriter writer(archive_write_disk_new(), &archive_write_free);
    // Names are checked here before they are prefixed with the destination, because libarchive's own
    // absolute-path check would refuse the prefixed names; its ".." and symlink checks stay on as a
    // second line.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS);

    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), 1 << 16) !=
        ARCHIVE_OK) {
        setError(error, libarchiveError(reader.get()));
        return false;
    }

    const QString root = destinationDirectory.endsWith(QLatin1Char('/'))
                             ? destinationDirectory
                             : destinationDirectory + QLatin1Char('/');
    archive_entry* entry = nullptr;
    qint64 bytesLeft = limits.maxTotalBytes;
    int entries = 0;
    for (;;) {
        const int r = archive_read_next_header(reader.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN) {
            setError(error, libarchiveError(reader.get()));
            return false;
        }
        if (++entries > limits.maxEntries) {
            setError(error, QStringLiteral("archive holds more than %1 entries").arg(limits.maxEntries));
            return false;
        }
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > bytesLeft) {
            setError(error, expandsTooFarText(limits.maxTotalBytes));
            return false;
        }
        const QString name = normalisedEntryName(entry);
        const QString refusal = refusalReason(entry, name);
        if (!refusal.isEmpty()) {
            setError(error, refusal);
            return false;
        }
        archive_entry_copy_pathname(entry, QFile::encodeName(root + name).constData());
        grantOwnerAccess(entry);
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) {
            setError(error, libarchiveError(writer.get()));
            return false;
        }
        if (archive_entry_filetype(entry) == AE_IFREG &&
            !copyEntryData(reader.get(), writer.get(), bytesLeft, limits.maxTotalBytes, error))
            return false;
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) {
            setError(error, libarchiveError(writer.get()));
            return false;
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        setError(error, libarchiveError(writer.get()));
        return false;
    }
    return true;
}

} // namespace platform
