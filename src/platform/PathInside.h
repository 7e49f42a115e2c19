#pragma once

#include <QString>

namespace platform {

// True when path is directory itself or lies below it, judged by where both really lead (links
// followed, "." and ".." resolved; on Windows also short 8.3 names and letter case, as the file
// system compares names). "Source Dir2" is not inside "Source Dir". False when either does not exist.
bool isInsideDirectory(const QString& path, const QString& directory);

} // namespace platform
