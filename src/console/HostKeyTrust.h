#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Which host keys the terminal accepts for a Node: a pinned fingerprint when the Node record has one,
// else the keys seen the first time the client connected to it (trust on first use), kept in a
// known-hosts file of the client's own.
namespace console {

struct HostKeyCheck {
    enum class Outcome {
        Pinned,      // the server offered the pinned key
        PinMismatch, // a fingerprint is pinned and the server did not offer it
        Remembered,  // the server offered a key remembered for this Node
        FirstUse,    // nothing remembered yet: the offered keys are to be remembered
        Changed,     // keys are remembered and the server offered none of them
        NoKeys,      // the server offered no key at all
    };
    Outcome outcome = Outcome::NoKeys;
    // Known-hosts lines (host field = the Node's alias) ssh may accept: the pinned ones, or the offered
    // ones for a first use or a changed key.
    QList<QByteArray> lines;
    QStringList offered;  // "SHA256:..." of every key the server offered
    QStringList expected; // "SHA256:..." pinned or remembered
};

// Judges ssh-keyscan's output against a pin (wins when not empty) or the lines remembered for `alias`.
HostKeyCheck checkHostKeys(const QByteArray& keyScanOutput, const QString& alias, const QString& pin,
                           const QList<QByteArray>& remembered);

// The known-hosts file the client owns ("known_hosts" in its application data directory), readable by
// the current user only.
QString trustedHostsPath();

// The lines filed under `alias` in the known-hosts file at `path`.
QList<QByteArray> rememberedHostKeys(const QString& path, const QString& alias);

// Replaces the lines filed under `alias` (kept apart from every other Node's). False with a reason.
bool rememberHostKeys(const QString& path, const QString& alias, const QList<QByteArray>& lines,
                      QString* error);

} // namespace console
