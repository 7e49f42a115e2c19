#include "console/SshLaunch.h"

#include "platform/OpenSshProgram.h"
#include "platform/PrivateFile.h"

#include <QCryptographicHash>
#include <QProcess>

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

bool writeKeyFile(const QString& path, const QString& privateKey, QString* error) {
    QByteArray content = privateKey.toUtf8();
    if (!content.isEmpty() && !content.endsWith('\n'))
        content.append('\n');
    return platform::writePrivateFile(path, content, error);
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

QString hostKeyAlias(const Node& node) {
    const QByteArray identity =
        (node.id + QLatin1Char('\n') + node.host + QLatin1Char('\n') + QString::number(node.port)).toUtf8();
    return QStringLiteral("ondivo-node-") +
           QString::fromLatin1(
               QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex().left(32));
}

QStringList sshArguments(const Node& node, const QString& keyFile, const QString& knownHostsFile) {
    QStringList arguments{QStringLiteral("-tt"),
                          QStringLiteral("-F"),
                          QProcess::nullDevice(),
                          QStringLiteral("-i"),
                          keyFile,
                          QStringLiteral("-p"),
                          QString::number(node.port)};
    // Each of these would otherwise come from the user's ssh set-up, or from ssh's defaults in a way that
    // lets something other than the Node's key and the remembered host key decide the connection.
    const QStringList options{
        QStringLiteral("IdentitiesOnly=yes"),
        QStringLiteral("IdentityAgent=none"),
        QStringLiteral("ForwardAgent=no"),
        QStringLiteral("ForwardX11=no"),
        QStringLiteral("ClearAllForwardings=yes"),
        QStringLiteral("PermitLocalCommand=no"),
        QStringLiteral("UpdateHostKeys=no"),
        QStringLiteral("StrictHostKeyChecking=yes"),
        QStringLiteral("GlobalKnownHostsFile=") + QProcess::nullDevice(),
        QStringLiteral("UserKnownHostsFile=") + knownHostsFile,
        QStringLiteral("HostKeyAlias=") + hostKeyAlias(node),
        // "Authenticated to ..." on standard error is the moment the key file is no longer needed.
        QStringLiteral("LogLevel=VERBOSE"),
    };
    for (const QString& option : options)
        arguments << QStringLiteral("-o") << option;
    arguments << node.username + QLatin1Char('@') + node.host;
    return arguments;
}

QProcessEnvironment sshEnvironment(const QProcessEnvironment& base) {
    QProcessEnvironment environment = base;
    for (const char* name :
         {"SSH_AUTH_SOCK", "SSH_AGENT_PID", "SSH_ASKPASS", "SSH_ASKPASS_REQUIRE", "DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("TERM"), QStringLiteral("xterm-256color"));
    return environment;
}

QStringList keyScanArguments(const Node& node, int timeoutSeconds) {
    return {QStringLiteral("-T"), QString::number(qMax(1, timeoutSeconds)),
            QStringLiteral("-p"), QString::number(node.port),
            QStringLiteral("--"), node.host};
}

QByteArray withHostName(const QByteArray& knownHostsLine, const QString& hostName) {
    const QList<QByteArray> fields = knownHostsLine.simplified().split(' ');
    if (fields.size() < 3 || fields.at(0).startsWith('#') || lineFingerprint(knownHostsLine).isEmpty())
        return QByteArray();
    return hostName.toUtf8() + ' ' + fields.at(1) + ' ' + fields.at(2);
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
