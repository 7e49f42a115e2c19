#pragma once

#include <QString>

namespace updater {

// Lower-case hex SHA-256 of a file, read in blocks of kHashBlockBytes. Throws UpdateFailure
// with "无法打开文件: " / "读取文件失败: " + path.
QString sha256OfFile(const QString& path);

// The manifest's "sha256" in the form compared: trimmed and lower-cased.
QString normalisedDigest(const QString& text);

} // namespace updater
