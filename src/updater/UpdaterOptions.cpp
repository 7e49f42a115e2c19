#include "updater/UpdaterOptions.h"

#include <QDir>
#include <QStandardPaths>

namespace updater {
namespace {

// The value of the first occurrence of option, or fallback when it is absent or the last argument.
QString optionValue(const QStringList& arguments, const char* option, const QString& fallback) {
    const int index = arguments.indexOf(QString::fromLatin1(option));
    if (index < 0 || index + 1 >= arguments.size())
        return fallback;
    return arguments.at(index + 1);
}

} // namespace

quint32 parseProcessId(const QString& text) {
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFull)
        return 0;
    return quint32(value);
}

QString defaultWorkDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/updates");
}

QString defaultLogPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/update.log");
}

UpdaterOptions parseUpdaterOptions(const QStringList& arguments) {
    UpdaterOptions options;
    options.manifestUrl = optionValue(arguments, "--manifest-url", QString());
    const QString target = optionValue(arguments, "--target", QString());
    options.target = target.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(target));
    options.exe = optionValue(arguments, "--exe", QString::fromUtf8(kDefaultClientProgram));
    options.pid = parseProcessId(optionValue(arguments, "--pid", QStringLiteral("0")));
    options.workDir = QDir::cleanPath(
        QDir::fromNativeSeparators(optionValue(arguments, "--work-dir", defaultWorkDirectory())));
    options.logPath = optionValue(arguments, "--log", defaultLogPath());
    options.fromTemp = arguments.contains(QString::fromLatin1(kFromTempFlag));
    return options;
}

} // namespace updater
