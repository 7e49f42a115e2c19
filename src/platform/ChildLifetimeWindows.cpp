#include "platform/ChildLifetime.h"

#include "platform/win32/CommandLine.h"
#include "platform/win32/KillOnCloseJob.h"

#include <QDir>

#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace {

// A program name no process can be started from: CreateProcessW fails and QProcess reports
// FailedToStart. Used when the child cannot be tied to this process.
constexpr wchar_t kRefusedProgram[] = L"\\\\?\\ondivo-child-not-tied\\";

// What one start needs until CreateProcessW returns; replaced by the next start.
struct StartData {
    win32::JobStartupInfo startup;
    std::wstring commandLine;
};

// The command line by the rules the child's runtime splits it with, from the program and arguments.
std::wstring windowsCommandLine(const QProcess& process) {
    std::vector<std::wstring> arguments;
    for (const QString& argument : process.arguments())
        arguments.push_back(argument.toStdWString());
    return win32::commandLine(QDir::toNativeSeparators(process.program()).toStdWString(), arguments);
}

} // namespace

void tieChildToThisProcess(QProcess& process) {
    auto current = std::make_shared<std::unique_ptr<StartData>>();
    // The modifier belongs to the process object, so the reference is valid whenever it runs.
    process.setCreateProcessArgumentsModifier([&process, current](QProcess::CreateProcessArguments* args) {
        auto data = std::make_unique<StartData>();
        DWORD error = 0;
        const HANDLE job = win32::lifetimeJob(&error);
        data->commandLine = windowsCommandLine(process);
        if (!job || data->commandLine.empty() || data->startup.prepare(*args->startupInfo, job) != 0) {
            // A child that could outlive the client is not started at all.
            args->applicationName = kRefusedProgram;
            return;
        }
        // Created inside the job: it never runs a single instruction outside it.
        args->startupInfo = data->startup.startupInfo();
        args->flags |= EXTENDED_STARTUPINFO_PRESENT;
        args->arguments = data->commandLine.data();
        *current = std::move(data);
    });
}

} // namespace platform
