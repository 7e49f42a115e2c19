#pragma once

#include <QString>

namespace platform {

// Unpacks a zip archive below destinationDirectory (which must exist). Every entry must stay inside
// it: absolute names, drive letters, ".." segments, symbolic and hard links are refused, and then
// the whole extraction fails. error (optional) receives the reason for the log.
bool extractZipArchive(const QString& archivePath, const QString& destinationDirectory,
                       QString* error = nullptr);

// True when an archive entry name is a plain relative path that cannot leave the destination.
bool isSafeEntryName(const QString& name);

} // namespace platform
