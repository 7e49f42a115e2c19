#pragma once

#include "model/Node.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The sealed form in which the Cloud API keeps a Node: AES-256-GCM under a key derived with
// PBKDF2-HMAC-SHA256 (100000 iterations) from "username:password" of the signed-in account.
namespace crypto {

inline constexpr int kEnvelopeIterations = 100000;
inline constexpr int kSaltLength = 16;
inline constexpr int kNonceLength = 12;
inline constexpr int kTagLength = 16;
inline constexpr char kEnvelopeAlgorithm[] = "PBKDF2-SHA256-A256GCM";

// The 32-byte key for salt under the current sign-in; empty on failure. Served from the session's
// key cache when this account and salt were derived before.
QByteArray deriveNodeKey(const QByteArray& salt);

// The envelope's compact JSON text; empty on failure.
QString sealNode(const Node& node);

// The Node inside, or nothing for a damaged envelope or another account's key.
std::optional<Node> openNode(const QString& envelopeText);

// Opens a whole list: the keys not yet cached are derived on worker threads in parallel while the
// calling (GUI) thread keeps handling events; results come back in the list's order.
QList<std::optional<Node>> openNodes(const QStringList& envelopeTexts);

// Forgets and wipes every cached key (also done at exit).
void clearKeyCache();
int cachedKeyCount();

} // namespace crypto
