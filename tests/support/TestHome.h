#pragma once

#include <QString>

namespace testsupport {

// Points HOME and the XDG directories at a fresh temporary directory for the rest of the process, so
// settings, keys, logs and data directories of a test never touch the real user's. Call before the
// application object exists.
QString isolateHome();
QString homePath();

// Removes the settings file so each test case starts from defaults.
void clearSettings();

} // namespace testsupport
