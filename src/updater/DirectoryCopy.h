#pragma once

#include <QString>

namespace updater {

// Copies the tree below source into destination (created with parents), replacing files of the same
// name. Hidden entries are copied too, so a backup restores the installation exactly; symbolic links
// are copied as links, never followed. On failure error receives "源目录不存在: " + source or
// "复制失败: " + source file + " -> " + destination file.
bool copyDirectory(const QString& source, const QString& destination, QString* error);

// Removes every entry inside directory (links themselves, never what they point to) and keeps the
// directory. Failures are ignored; the caller checks the result by what it copies next.
void removeDirectoryEntries(const QString& directory);

// Removes directory and everything below it without following links out of it.
bool removeTree(const QString& directory);

} // namespace updater
