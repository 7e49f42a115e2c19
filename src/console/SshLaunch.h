#pragma once

#include "model/Node.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// How the terminal runs the system's OpenSSH client for a Node: the key file, the command line and the
// host-key pinning. No processes are started here.
namespace console {

// The Node's name with each of \ / : * ? " < > | replaced by "_".
QString safeKeyName(const QString& nodeName);

// Writes the key (a trailing line end added when missing, which OpenSSH needs to read it) to `path`,
// readable and writable by the owner only, replacing any file there. Returns a one-line account of the
// permissions set, for the log.
QString writeKeyFile(const QString& path, const QString& privateKey, bool* ok = nullptr);

// "ssh" from PATH, unless a test replaced it.
QString sshProgram();
QString keyScanProgram();
namespace testing {
void setSshProgram(const QString& program); // empty restores the default
}

// A host or user that ssh would read as an option (leading "-") or that carries blanks or control
// characters cannot name a server; such a Node gets no ssh at all.
bool isUsableDestination(const Node& node);

// ssh's arguments: "-tt", the key, the port, host-key options, user@host. Without a known-hosts file
// the host key is not checked; with one, ssh accepts only the keys written there.
QStringList sshArguments(const Node& node, const QString& keyFile, const QString& knownHostsFile = QString());

// ssh-keyscan's arguments for the Node.
QStringList keyScanArguments(const Node& node);

// A fingerprint in OpenSSH's form "SHA256:<base64>", with or without the prefix and padding, reduced
// to its base64 text; empty when it is not a SHA256 fingerprint.
QString normalizedFingerprint(const QString& fingerprint);

// The SHA256 fingerprint (without prefix or padding) of a known-hosts line "<host> <type> <base64 key>".
QString lineFingerprint(const QByteArray& knownHostsLine);

// The lines of ssh-keyscan's output whose key has the pinned fingerprint (comments skipped).
QList<QByteArray> linesMatchingFingerprint(const QByteArray& keyScanOutput, const QString& fingerprint);

} // namespace console
