#pragma once

#include <QString>
#include <QStringList>

namespace updater {

#ifdef Q_OS_WIN
inline constexpr char kDefaultClientProgram[] = "Ondivo.exe";
inline constexpr char kUpdaterProgramName[] = "OndivoUpdater.exe";
#else
inline constexpr char kDefaultClientProgram[] = "Ondivo";
inline constexpr char kUpdaterProgramName[] = "OndivoUpdater";
#endif
inline constexpr char kFromTempFlag[] = "--from-temp";
inline constexpr char kBoxTitle[] = "Ondivo 更新";

struct UpdaterOptions {
    QString manifestUrl;
    QString target; // cleaned
    QString exe = QString::fromUtf8(kDefaultClientProgram);
    quint32 pid = 0;
    QString workDir; // cleaned
    QString logPath;
    bool fromTemp = false;
};

// Reads the options from the arguments after the program name. Each option takes the next argument
// as its value; the first occurrence counts; an option that is absent or last keeps its default.
UpdaterOptions parseUpdaterOptions(const QStringList& arguments);

// "--pid" value: an unsigned 32-bit decimal number, 0 when it is anything else.
quint32 parseProcessId(const QString& text);

// Defaults of "--work-dir" and "--log", named after the running program.
QString defaultWorkDirectory();
QString defaultLogPath();

} // namespace updater
