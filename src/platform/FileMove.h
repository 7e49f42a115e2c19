#pragma once

#include <QString>

namespace platform {

// Renames a file or directory to a name that does not exist yet, on the same volume, without ever
// copying. Unlike deleting or overwriting, this works for the file of a running program on Windows,
// which is how an installer makes room for new files while old ones are still in use.
// error (optional) receives the reason.
bool moveEntry(const QString& from, const QString& to, QString* error = nullptr);

} // namespace platform
