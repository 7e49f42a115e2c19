#pragma once

#include <QString>
#include <functional>

namespace updater {

// What copyDirectory does with the source directory's own mode and modification time.
enum class RootAttributes {
    Copy, // the destination becomes a faithful copy (backup, rollback)
    Keep, // the destination keeps its own (installing into an existing directory)
};

// Receives one line per entry the copy leaves out.
using CopyLog = std::function<void(const QString& line)>;

// Copies the tree below source into destination (created with parents), replacing files of the same
// name. Hidden entries are copied too, and every file and directory keeps its mode (the executable
// bit above all) and modification time, so a backup restores the installation exactly; symbolic links
// are copied as links, never followed. FIFOs, sockets and device nodes are skipped with a line to log:
// opening one would block the copy or copy a device. On failure error receives "源目录不存在: " +
// source or "复制失败: " + source file + " -> " + destination file.
bool copyDirectory(const QString& source, const QString& destination, QString* error,
                   RootAttributes root = RootAttributes::Copy, const CopyLog& log = {});

// Gives destination the mode and modification time of source (both directories), as a copy with
// RootAttributes::Copy does. False when they cannot be read or set.
bool copyRootAttributes(const QString& source, const QString& destination);

// Removes every entry inside directory (links themselves, never what they point to) and keeps the
// directory. Failures are ignored; the caller checks the result by what it copies next.
void removeDirectoryEntries(const QString& directory);

// Removes directory and everything below it without following links out of it.
bool removeTree(const QString& directory);

} // namespace updater
