#include "updater/RunnerPreparation.h"

#include "updater/DirectoryCopy.h"
#include "updater/UpdaterOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace updater {
namespace {

QStringList runtimeLibraryFilters() {
#ifdef Q_OS_WIN
    return {QStringLiteral("*.dll")};
#else
    return {QStringLiteral("*.so"), QStringLiteral("*.so.*")};
#endif
}

// Copies every runtime library directly in programDirectory; one failure does not stop the others.
bool copyRuntimeLibraries(const QDir& programDirectory, const QString& runnerDirectory, QString* error) {
    bool ok = true;
    const QFileInfoList libraries =
        programDirectory.entryInfoList(runtimeLibraryFilters(), QDir::Files | QDir::Hidden, QDir::NoSort);
    for (const QFileInfo& library : libraries) {
        const QString copy = runnerDirectory + QLatin1Char('/') + library.fileName();
        QFile::remove(copy);
        if (!QFile::copy(library.absoluteFilePath(), copy)) {
            *error = QStringLiteral("复制运行库失败: ") + library.absoluteFilePath();
            ok = false;
            continue;
        }
        QFile::setPermissions(copy, library.permissions());
    }
    return ok;
}

} // namespace

QStringList runnerPluginFolders() {
    return {QStringLiteral("generic"),      QStringLiteral("iconengines"),
            QStringLiteral("imageformats"), QStringLiteral("networkinformation"),
            QStringLiteral("platforms"),    QStringLiteral("styles"),
            QStringLiteral("tls"),          QStringLiteral("translations")};
}

RunnerPlan runnerPlan(const QString& workDirectory) {
    RunnerPlan plan;
    plan.runnerDirectory = workDirectory + QStringLiteral("/runner");
    plan.runnerProgram = plan.runnerDirectory + QLatin1Char('/') + QString::fromUtf8(kUpdaterProgramName);
    return plan;
}

RunnerPreparation prepareRunner(const QString& programPath, const RunnerPlan& plan, QString* error) {
    QDir().mkpath(plan.runnerDirectory);
    QFile::remove(plan.runnerProgram);
    if (!QFile::copy(programPath, plan.runnerProgram))
        return RunnerPreparation::ProgramCopyFailed;

    const QString programDirectory = QFileInfo(programPath).absolutePath();
    const QDir dir(programDirectory);
    if (!dir.exists()) {
        *error = QStringLiteral("源目录不存在: ") + programDirectory;
        return RunnerPreparation::RuntimeCopyFailed;
    }
    bool ok = copyRuntimeLibraries(dir, plan.runnerDirectory, error);
    for (const QString& folder : runnerPluginFolders()) {
        const QString source = programDirectory + QLatin1Char('/') + folder;
        if (!QFileInfo(source).isDir())
            continue;
        if (!copyDirectory(source, plan.runnerDirectory + QLatin1Char('/') + folder, error))
            ok = false;
    }
    return ok ? RunnerPreparation::Ready : RunnerPreparation::RuntimeCopyFailed;
}

QStringList runnerArguments(const QStringList& argumentsWithoutProgram) {
    return argumentsWithoutProgram + QStringList{QString::fromLatin1(kFromTempFlag)};
}

} // namespace updater
