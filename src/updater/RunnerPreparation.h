#pragma once

#include <QString>
#include <QStringList>

namespace updater {

// The folders of toolkit plugins the runner copy needs beside it, each copied whole when present.
QStringList runnerPluginFolders();

enum class RunnerPreparation { Ready, ProgramCopyFailed, RuntimeCopyFailed };

struct RunnerPlan {
    QString runnerDirectory; // <work-dir>/runner
    QString runnerProgram;   // runnerDirectory + "/" + the updater's program name
};

RunnerPlan runnerPlan(const QString& workDirectory);

// Copies the running program (programPath) and its runtime (shared libraries directly beside it and
// the plugin folders) into the runner directory. error receives the runtime failure text.
RunnerPreparation prepareRunner(const QString& programPath, const RunnerPlan& plan, QString* error);

// The runner's arguments: everything the first start was given, then "--from-temp".
QStringList runnerArguments(const QStringList& argumentsWithoutProgram);

} // namespace updater
