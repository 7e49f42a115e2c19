#include "console/HostKeyTrust.h"

#include "app/DataPaths.h"
#include "console/SshLaunch.h"
#include "platform/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

namespace console {
namespace {

// Known-hosts lines of a file of the client's own; far beyond any real fleet, it keeps a corrupted or
// planted file from being read whole into memory.
constexpr qint64 kMaxKnownHostsBytes = 4 * 1024 * 1024;

QByteArray hostField(const QByteArray& line) {
    return line.simplified().split(' ').value(0);
}

QStringList fingerprints(const QList<QByteArray>& lines) {
    QStringList result;
    for (const QByteArray& line : lines) {
        const QString fingerprint = lineFingerprint(line);
        if (!fingerprint.isEmpty() && !result.contains(QStringLiteral("SHA256:") + fingerprint))
            result.append(QStringLiteral("SHA256:") + fingerprint);
    }
    return result;
}

QList<QByteArray> readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxKnownHostsBytes)
        return {};
    return file.readAll().split('\n');
}

} // namespace

HostKeyCheck checkHostKeys(const QByteArray& keyScanOutput, const QString& alias, const QString& pin,
                           const QList<QByteArray>& remembered) {
    HostKeyCheck check;
    QList<QByteArray> offeredLines;
    for (const QByteArray& line : keyScanOutput.split('\n')) {
        const QByteArray renamed = withHostName(line, alias);
        if (!renamed.isEmpty())
            offeredLines.append(renamed);
    }
    check.offered = fingerprints(offeredLines);
    if (!pin.trimmed().isEmpty()) {
        check.expected = {QStringLiteral("SHA256:") + normalizedFingerprint(pin)};
        for (const QByteArray& line : offeredLines) {
            if (lineFingerprint(line) == normalizedFingerprint(pin))
                check.lines.append(line);
        }
        check.outcome = check.lines.isEmpty() ? (offeredLines.isEmpty() ? HostKeyCheck::Outcome::NoKeys
                                                                        : HostKeyCheck::Outcome::PinMismatch)
                                              : HostKeyCheck::Outcome::Pinned;
        return check;
    }
    check.expected = fingerprints(remembered);
    if (offeredLines.isEmpty()) {
        check.outcome = HostKeyCheck::Outcome::NoKeys;
        return check;
    }
    for (const QString& fingerprint : std::as_const(check.offered)) {
        if (check.expected.contains(fingerprint)) {
            check.outcome = HostKeyCheck::Outcome::Remembered;
            return check;
        }
    }
    check.outcome =
        check.expected.isEmpty() ? HostKeyCheck::Outcome::FirstUse : HostKeyCheck::Outcome::Changed;
    check.lines = offeredLines;
    return check;
}

QString trustedHostsPath() {
    return app::appDataDirectory() + QStringLiteral("/known_hosts");
}

QList<QByteArray> rememberedHostKeys(const QString& path, const QString& alias) {
    QList<QByteArray> lines;
    for (const QByteArray& line : readLines(path)) {
        if (!line.trimmed().isEmpty() && hostField(line) == alias.toUtf8())
            lines.append(line.trimmed());
    }
    return lines;
}

bool rememberHostKeys(const QString& path, const QString& alias, const QList<QByteArray>& lines,
                      QString* error) {
    QByteArray content;
    for (const QByteArray& line : readLines(path)) {
        if (!line.trimmed().isEmpty() && hostField(line) != alias.toUtf8())
            content += line.trimmed() + '\n';
    }
    for (const QByteArray& line : lines)
        content += line + '\n';
    // Written beside and moved over the old file, so a crash in between never loses what was remembered.
    const QString next = path + QStringLiteral(".new");
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!platform::writePrivateFile(next, content, error))
        return false;
    std::error_code failure;
    std::filesystem::rename(std::filesystem::path(next.toStdU16String()),
                            std::filesystem::path(path.toStdU16String()), failure);
    if (failure) {
        QFile::remove(next);
        if (error)
            *error = QString::fromStdString(failure.message());
        return false;
    }
    return true;
}

} // namespace console
