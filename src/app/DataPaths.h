#pragma once

#include <QString>

namespace app {

// Per-user application data directory of the client (roaming kind where the platform has one).
// The log file lives here whatever the configured data directory is.
QString appDataDirectory();

// Per-user local (non-roaming) application data directory of the client.
QString localAppDataDirectory();

// The configurable data directory: storage/dataDir when it holds more than blanks, else
// appDataDirectory() + "/data". Created on every call; returned in clean form.
QString dataDirectory();

QString logFilePath();

// Appends "yyyy-MM-ddTHH:mm:ss <text>" to the client's log; a log that cannot be opened drops the line.
void appendLog(const QString& text);

} // namespace app
