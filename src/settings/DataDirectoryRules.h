#pragma once

#include <QString>
#include <QtGlobal>

// Widget-free rules of the data directory: its disk usage and its migration to another directory.
namespace datadir {

// Sum of the sizes of all regular files below directory, recursively, hidden ones included; symbolic
// links (to files or directories) are neither counted nor followed. A missing directory gives 0.
qint64 directoryUsage(const QString& directory);

// The usage line shown on the settings page ("B" .. "TB").
QString usageText(qint64 bytes);

// The chosen path in clean absolute form; empty stays empty.
QString cleanAbsolute(const QString& path);

// The clean absolute path with the symbolic links of its existing part resolved; a part that does not
// exist yet is kept as written. Two names of one directory (a link and its target) give the same text.
QString resolvedPath(const QString& path);

// True when both name the same directory once links are resolved.
bool sameDirectory(const QString& a, const QString& b);

// True when candidate lies strictly below directory once links are resolved (a copy there would copy
// into itself).
bool isInside(const QString& candidate, const QString& directory);

// "迁移时请确保浏览器环境未运行。\n\n确定把数据目录迁移到：\n" + path + " ?"
QString migrationQuestion(const QString& newPath);

struct MigrationResult {
    bool ok = false;
    QString error; // failure text without the "迁移失败: " prefix
};

// Copies everything below from (hidden entries included) to the same relative paths below to. Existing
// target files are replaced; the first failure stops the copy and is reported; from is left untouched.
// A missing from copies nothing and succeeds. Before anything is written, links resolved, a to that is
// from itself, lies inside it or contains it is refused, and so is every write that a link inside to
// would carry into from: a migration never replaces or removes anything in from.
MigrationResult copyDataDirectory(const QString& from, const QString& to);

} // namespace datadir
