#pragma once

#include "updater/UpdaterOptions.h"

#include <QStringList>

namespace updater {

inline constexpr int kExitOk = 0;
inline constexpr int kExitMissingArguments = 2;
inline constexpr int kExitRunnerFailed = 3;

// The first start (from the installation directory): copy the program and its runtime into
// <work-dir>/runner and start that copy with "--from-temp". Returns the exit code; failures are shown
// in a box titled "Ondivo 更新".
int startRunnerCopy(const UpdaterOptions& options, const QStringList& argumentsWithoutProgram,
                    const QString& programPath);

// Whole program after the application object exists: options, missing-argument box, runner start,
// or (as the runner) the window and the pipeline. Returns the process exit code.
int runUpdaterProgram(const QStringList& argumentsWithoutProgram, const QString& programPath);

} // namespace updater
