#pragma once

#include <QByteArray>
#include <QString>

// Per-user protection of small secrets (stored passwords). Only the same OS user on the same machine
// can open what was protected. Windows uses the system's data protection; elsewhere the data is
// sealed with AES-256-GCM under a random master key kept in a file only its owner can read.
namespace platform {

// The protected blob, or empty when protection is not available.
QByteArray protectData(const QByteArray& plain);

// The original bytes; ok is false for anything that was not protected by this user.
QByteArray unprotectData(const QByteArray& blob, bool* ok);

// Where the master key lives (Linux backend); exposed for tests.
QString masterKeyPath();

} // namespace platform
