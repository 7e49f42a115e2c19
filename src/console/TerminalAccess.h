#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Who may use a terminal's loopback WebSocket: only the page the pane itself loaded. Any local process,
// and any web page open in the user's browser, can reach a loopback port, so the bridge demands the
// pane's secret and the pane's own page origin before it hands out the shell.
namespace console {

inline constexpr char kSecretParameter[] = "secret";

// 256 random bits from the system's cryptographic generator, as URL-safe text.
QByteArray newTerminalSecret();

// Compares in time that depends only on `expected`'s length, never on where the first difference is.
bool constantTimeEquals(const QByteArray& given, const QByteArray& expected);

// "http://127.0.0.1:<port>": the origin of the pane's asset server, which the page's requests carry.
QString assetOrigin(quint16 assetPort);

// True when the WebSocket request carries exactly the secret and comes from exactly the expected origin.
bool mayBridge(const QUrl& requestUrl, const QString& origin, const QByteArray& secret,
               const QString& expectedOrigin);

// The page address: terminal.html with the WebSocket port and the secret.
QUrl terminalPageUrl(quint16 assetPort, quint16 socketPort, const QByteArray& secret);

// The address as it may be written to a log: the secret's value replaced by "***".
QString maskedForLog(const QUrl& url);

} // namespace console
