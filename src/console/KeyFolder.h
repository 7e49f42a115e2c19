#pragma once

#include <QString>

// Where the terminal keeps a Node's key while ssh authenticates: a private folder per session in the
// system's temporary directory, named "ondivo-ssh-<pid>-<random>" after the client process that owns it,
// so that what a crashed client left behind can be told apart and removed at the next start.
namespace console {

// The QTemporaryDir template for a key folder of this process.
QString keyFolderTemplate(const QString& parent);

// Removes the key folders under `parent` whose owning process is gone; folders of running processes
// (this one included) and anything not named like a key folder stay. Returns how many were removed.
int sweepStaleKeyFolders(const QString& parent);

} // namespace console
