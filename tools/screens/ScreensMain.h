#pragma once

#include <QString>

// Start-up shared by the screens programs: each draws pages and dialogs of the client against the
// simulator and saves them as pictures for a visual check; none of them is a test.
namespace screens {

// Isolates the home directory (settings and data of a screens run never touch the user's), creates the
// application and the output directory (the first argument, else the current directory) and returns
// what draw returns (0 when every picture was saved).
int run(int argc, char** argv, int (*draw)(const QString& outDir));

} // namespace screens
