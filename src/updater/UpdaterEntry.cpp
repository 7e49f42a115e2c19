#include "updater/UpdaterEntry.h"

#include "ui/Dialogs.h"
#include "updater/RunnerPreparation.h"
#include "updater/UpdaterTiming.h"
#include "updater/UpdaterWindow.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>

namespace updater {
namespace {

void showError(const QString& text) {
    ui::critical(nullptr, text, QString::fromUtf8(kBoxTitle));
}

} // namespace

int startRunnerCopy(const UpdaterOptions& options, const QStringList& argumentsWithoutProgram,
                    const QString& programPath) {
    const RunnerPlan plan = runnerPlan(options.workDir);
    QString error;
    switch (prepareRunner(programPath, plan, &error)) {
    case RunnerPreparation::ProgramCopyFailed:
        showError(QStringLiteral("无法启动临时更新器。"));
        return kExitRunnerFailed;
    case RunnerPreparation::RuntimeCopyFailed:
        showError(QStringLiteral("无法准备临时更新器运行环境。\n") + error);
        return kExitRunnerFailed;
    case RunnerPreparation::Ready:
        break;
    }
    // A runner that does not start would leave the user with nothing at all: say so.
    if (!QProcess::startDetached(plan.runnerProgram, runnerArguments(argumentsWithoutProgram),
                                 plan.runnerDirectory)) {
        showError(QStringLiteral("无法启动临时更新器。"));
        return kExitRunnerFailed;
    }
    return kExitOk;
}

int runUpdaterProgram(const QStringList& argumentsWithoutProgram, const QString& programPath) {
    const UpdaterOptions options = parseUpdaterOptions(argumentsWithoutProgram);
    if (options.manifestUrl.isEmpty() || options.target.isEmpty()) {
        showError(QStringLiteral("缺少更新参数。"));
        return kExitMissingArguments;
    }
    if (!options.fromTemp)
        return startRunnerCopy(options, argumentsWithoutProgram, programPath);

    UpdaterWindow window(options);
    window.show();
    QTimer::singleShot(timing.startDelayMs, &window, [&window] { window.runUpdate(); });
    return QApplication::exec();
}

} // namespace updater
