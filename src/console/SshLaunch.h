#pragma once

#include "model/Node.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// How the terminal runs the system's OpenSSH client for a Node: the key file, the command line and the
// host-key pinning. No processes are started here.
namespace console {

// The Node's name with each of \ / : * ? " < > | replaced by "_".
QString safeKeyName(const QString& nodeName);

// Writes the key (a trailing line end added when missing, which OpenSSH needs to read it) to `path`,
// readable and writable by the owner only from its first byte on, replacing any file there. False with
// the reason in `error` when it could not be written; then no key is on disk.
bool writeKeyFile(const QString& path, const QString& privateKey, QString* error);

// "ssh" from PATH, unless a test replaced it.
QString sshProgram();
QString keyScanProgram();
namespace testing {
void setSshProgram(const QString& program); // empty restores the default
}

// A host or user that ssh would read as an option (leading "-") or that carries blanks or control
// characters cannot name a server; such a Node gets no ssh at all.
bool isUsableDestination(const Node& node);

// The name under which the Node's host keys are filed in a known-hosts file (ssh's HostKeyAlias): one per
// Node and address, so two Nodes behind one address, or a Node moved to a new address, never share trust.
QString hostKeyAlias(const Node& node);

// ssh's arguments: "-tt", the Node's key and nothing else of the user's ssh set-up (no config file, no
// agent, no forwarding, no local command, no system known-hosts file), the port, strict host-key
// checking against `knownHostsFile` under the Node's alias, verbose enough to report the moment it
// authenticated, user@host.
QStringList sshArguments(const Node& node, const QString& keyFile, const QString& knownHostsFile);

// The environment ssh and ssh-keyscan run with: the client's own without any way to reach the user's
// agent or a password prompt program, TERM set for the terminal page.
QProcessEnvironment sshEnvironment(const QProcessEnvironment& base);

// ssh-keyscan's arguments for the Node; it gives up on a silent host after `timeoutSeconds`.
QStringList keyScanArguments(const Node& node, int timeoutSeconds);

// The known-hosts line with its host field replaced by `hostName`; empty for a comment or a line that
// is not "<host> <type> <base64 key>".
QByteArray withHostName(const QByteArray& knownHostsLine, const QString& hostName);

// A fingerprint in OpenSSH's form "SHA256:<base64>", with or without the prefix and padding, reduced
// to its base64 text; empty when it is not a SHA256 fingerprint.
QString normalizedFingerprint(const QString& fingerprint);

// The SHA256 fingerprint (without prefix or padding) of a known-hosts line "<host> <type> <base64 key>".
QString lineFingerprint(const QByteArray& knownHostsLine);

// The lines of ssh-keyscan's output whose key has the pinned fingerprint (comments skipped).
QList<QByteArray> linesMatchingFingerprint(const QByteArray& keyScanOutput, const QString& fingerprint);

} // namespace console
