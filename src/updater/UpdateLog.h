#pragma once

#include <QString>

namespace updater {

// Appends "yyyy-MM-dd HH:mm:ss <text>" and a line break to the updater's log, creating its folder.
// A log that cannot be opened drops the line: logging never stops an update.
void appendUpdateLog(const QString& path, const QString& text);

} // namespace updater
