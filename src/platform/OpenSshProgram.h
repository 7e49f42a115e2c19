#pragma once

#include <QString>

namespace platform {

// The OpenSSH client program name ("ssh", "ssh-keyscan") to start. On Windows the one the system
// ships (%SystemRoot%\System32\OpenSSH\), else the first found on PATH, else the bare .exe name
// (starting it then fails with a clear error). Elsewhere the name itself, which the start looks up
// on PATH.
QString openSshProgram(const QString& name);

// The Windows lookup, on any platform: systemRoot/System32/OpenSSH/<name>.exe when that file exists,
// else what findOnPath(name) returns, else empty.
QString findOpenSshProgram(const QString& name, const QString& systemRoot,
                           QString (*findOnPath)(const QString& name));

} // namespace platform
