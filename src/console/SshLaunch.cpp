#include "console/SshLaunch.h"

#include "platform/OpenSshProgram.h"

#include <QCryptographicHash>
#include <QFile>

namespace console {
namespace {

QString& programOverride() {
    static QString program;
    return program;
}

bool isUsableWord(const QString& word) {
    if (word.isEmpty() || word.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : word) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

} // namespace

QString safeKeyName(const QString& nodeName) {
    QString safe = nodeName;
    for (const QChar c : QStringLiteral("\\/:*?\"<>|"))
        safe.replace(c, QLatin1Char('_'));
    return safe;
}

QString writeKeyFile(const QString& path, const QString& privateKey, bool* ok) {
    QFile::remove(path);
    QFile file(path);
    QByteArray content = privateKey.toUtf8();
    if (!content.isEmpty() && !content.endsWith('\n'))
        content.append('\n');
    // Narrowed before the key is written, so the secret is never readable by others, not even briefly.
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(content) == content.size();
    file.close();
    if (ok)
        *ok = written;
    return QStringLiteral("key file permissions 0600 ") + path + QStringLiteral(" => ") +
           (written ? QStringLiteral("ok") : QStringLiteral("failed: ") + file.errorString());
}

QString sshProgram() {
    return programOverride().isEmpty() ? platform::openSshProgram(QStringLiteral("ssh")) : programOverride();
}

QString keyScanProgram() {
    return platform::openSshProgram(QStringLiteral("ssh-keyscan"));
}

void testing::setSshProgram(const QString& program) {
    programOverride() = program;
}

bool isUsableDestination(const Node& node) {
    return isUsableWord(node.host) && isUsableWord(node.username) &&
           !node.username.contains(QLatin1Char('@'));
}

QStringList sshArguments(const Node& node, const QString& keyFile, const QString& knownHostsFile) {
    const bool pinned = !knownHostsFile.isEmpty();
    return {QStringLiteral("-tt"),
            QStringLiteral("-i"),
            keyFile,
            QStringLiteral("-p"),
            QString::number(node.port),
            QStringLiteral("-o"),
            pinned ? QStringLiteral("StrictHostKeyChecking=yes") : QStringLiteral("StrictHostKeyChecking=no"),
            QStringLiteral("-o"),
            QStringLiteral("UserKnownHostsFile=") + (pinned ? knownHostsFile : QStringLiteral("/dev/null")),
            node.username + QLatin1Char('@') + node.host};
}

QStringList keyScanArguments(const Node& node) {
    return {QStringLiteral("-p"), QString::number(node.port), QStringLiteral("--"), node.host};
}

QString normalizedFingerprint(const QString& fingerprint) {
    QString text = fingerprint.trimmed();
    if (text.startsWith(QLatin1String("SHA256:"), Qt::CaseInsensitive))
        text = text.mid(7);
    while (text.endsWith(QLatin1Char('=')))
        text.chop(1);
    // MD5 fingerprints ("MD5:aa:bb..." or bare hex pairs) and anything else with foreign characters
    // cannot match a SHA256 one.
    for (const QChar c : text) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('+') && c != QLatin1Char('/'))
            return QString();
    }
    return text;
}

QString lineFingerprint(const QByteArray& knownHostsLine) {
    const QList<QByteArray> fields = knownHostsLine.simplified().split(' ');
    if (fields.size() < 3)
        return QString();
    const auto decoded =
        QByteArray::fromBase64Encoding(fields.at(2), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return QString();
    const QByteArray digest = QCryptographicHash::hash(*decoded, QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
}

QList<QByteArray> linesMatchingFingerprint(const QByteArray& keyScanOutput, const QString& fingerprint) {
    const QString wanted = normalizedFingerprint(fingerprint);
    QList<QByteArray> matches;
    if (wanted.isEmpty())
        return matches;
    for (const QByteArray& raw : keyScanOutput.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (lineFingerprint(line) == wanted)
            matches.append(line);
    }
    return matches;
}

} // namespace console
