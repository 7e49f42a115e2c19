#include "console/KeyFolder.h"

#include "platform/PidWait.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

#include <limits>

namespace console {
namespace {

constexpr char kPrefix[] = "ondivo-ssh-";

} // namespace

QString keyFolderTemplate(const QString& parent) {
    return parent + QLatin1Char('/') + QLatin1String(kPrefix) +
           QString::number(QCoreApplication::applicationPid()) + QStringLiteral("-XXXXXX");
}

int sweepStaleKeyFolders(const QString& parent) {
    static const QRegularExpression name(QRegularExpression::anchoredPattern(
        QLatin1String(kPrefix) + QStringLiteral("([0-9]{1,10})-[A-Za-z0-9]+")));
    int removed = 0;
    // Links are never followed: a link named like a key folder may point anywhere.
    const QFileInfoList entries =
        QDir(parent).entryInfoList({QLatin1String(kPrefix) + QLatin1Char('*')},
                                   QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo& entry : entries) {
        const QRegularExpressionMatch match = name.match(entry.fileName());
        if (!match.hasMatch())
            continue;
        bool ok = false;
        const qulonglong pid = match.captured(1).toULongLong(&ok);
        if (!ok || pid == 0 || pid > std::numeric_limits<quint32>::max() ||
            pid == qulonglong(QCoreApplication::applicationPid()))
            continue;
        // Anything but "still running" (gone, or ended and not yet collected) leaves the folder to nobody.
        if (platform::waitForProcessExit(quint32(pid), 0) == platform::PidWaitResult::TimedOut)
            continue;
        if (QDir(entry.filePath()).removeRecursively())
            ++removed;
    }
    return removed;
}

} // namespace console
