#pragma once

#include <QString>
#include <QtGlobal>

namespace platform {

// Bounds of one extraction. A small archive can expand to gigabytes or hold a hundred thousand entries;
// a real release of the client is far below both.
inline constexpr qint64 kMaxExtractedBytes = qint64(2) * 1024 * 1024 * 1024;
inline constexpr int kMaxExtractedEntries = 20000;

struct ExtractLimits {
    qint64 maxTotalBytes = kMaxExtractedBytes;
    int maxEntries = kMaxExtractedEntries;
};

// Unpacks a zip archive below destinationDirectory (which must exist). Every entry must stay inside
// it: absolute names, drive letters, ".." segments, symbolic and hard links are refused, and then
// the whole extraction fails, as it does past the limits. Extracted directories get at least owner
// rwx and files at least owner rw, so an entry with mode 0 cannot lock the installation out.
// error (optional) receives the reason for the log.
bool extractZipArchive(const QString& archivePath, const QString& destinationDirectory,
                       QString* error = nullptr, const ExtractLimits& limits = {});

// True when an archive entry name is a plain relative path that cannot leave the destination.
bool isSafeEntryName(const QString& name);

} // namespace platform
