#pragma once

#include <QByteArray>
#include <QString>

namespace platform { // Creates (replacing) a file only the current user can read or write, protection set
                     // before any byte is written. False with a reason on failure; then nothing is written.
bool writePrivateFile(const QString& path, const QByteArray& content, QString* error);
}
