#include "crypto/NodeEnvelope.h"

#include "crypto/CryptoPrimitives.h"
#include "model/SignInState.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QtConcurrent/QtConcurrentMap>

namespace crypto {
namespace {

struct EnvelopeParts {
    QByteArray salt;
    QByteArray iv;
    QByteArray ct;
    QByteArray tag;
};

EnvelopeParts parseEnvelope(const QString& text) {
    const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
    auto decode = [&object](const char* key) {
        const auto result = QByteArray::fromBase64Encoding(object.value(QLatin1String(key)).toString().toLatin1(),
                                                           QByteArray::AbortOnBase64DecodingErrors);
        return result ? result.decoded : QByteArray();
    };
    return {decode("salt"), decode("iv"), decode("ct"), decode("tag")};
}

QByteArray passphrase() {
    const SignInState& state = signInState();
    return (state.username + QLatin1Char(':') + state.password).toUtf8();
}

// Derived keys for this process only: keyed by a digest of the account's passphrase and the salt,
// never written anywhere, wiped when cleared and at exit.
class KeyCache {
public:
    ~KeyCache() { clear(); }

    QByteArray find(const QByteArray& id) {
        QMutexLocker lock(&mutex_);
        return keys_.value(id);
    }

    void store(const QByteArray& id, const QByteArray& key) {
        QMutexLocker lock(&mutex_);
        keys_.insert(id, key);
    }

    void clear() {
        QMutexLocker lock(&mutex_);
        for (auto it = keys_.begin(); it != keys_.end(); ++it)
            wipe(it.value());
        keys_.clear();
    }

    int size() {
        QMutexLocker lock(&mutex_);
        return int(keys_.size());
    }

private:
    QMutex mutex_;
    QHash<QByteArray, QByteArray> keys_;
};

KeyCache& keyCache() {
    static KeyCache cache;
    return cache;
}

QByteArray cacheId(const QByteArray& secret, const QByteArray& salt) {
    return QCryptographicHash::hash(secret, QCryptographicHash::Sha256) + salt;
}

QByteArray deriveWith(const QByteArray& secret, const QByteArray& salt) {
    if (salt.isEmpty())
        return {};
    const QByteArray id = cacheId(secret, salt);
    QByteArray key = keyCache().find(id);
    if (!key.isEmpty())
        return key;
    key = pbkdf2Sha256(secret, salt, kEnvelopeIterations, 32);
    if (!key.isEmpty())
        keyCache().store(id, key);
    return key;
}

std::optional<Node> openWithKey(const EnvelopeParts& parts, QByteArray key) {
    if (key.isEmpty() || parts.iv.size() != kNonceLength || parts.tag.size() != kTagLength)
        return std::nullopt;
    QByteArray plain;
    QByteArray tag = parts.tag;
    const bool ok = aesGcmCrypt(false, key, parts.iv, parts.ct, plain, tag);
    wipe(key);
    if (!ok)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(plain);
    wipe(plain);
    if (!document.isObject())
        return std::nullopt;
    return parseNode(document.object());
}

} // namespace

QByteArray deriveNodeKey(const QByteArray& salt) {
    QByteArray secret = passphrase();
    QByteArray key = deriveWith(secret, salt);
    wipe(secret);
    return key;
}

QString sealNode(const Node& node) {
    const QByteArray salt = randomBytes(kSaltLength);
    const QByteArray nonce = randomBytes(kNonceLength);
    QByteArray key = deriveNodeKey(salt);
    QByteArray plain = QJsonDocument(nodeToJson(node)).toJson(QJsonDocument::Compact);
    if (salt.isEmpty() || nonce.isEmpty() || key.isEmpty()) {
        wipe(key);
        wipe(plain);
        return {};
    }
    QByteArray cipher;
    QByteArray tag(kTagLength, '\0');
    const bool ok = aesGcmCrypt(true, key, nonce, plain, cipher, tag);
    wipe(key);
    wipe(plain);
    if (!ok)
        return {};

    QJsonObject envelope;
    envelope.insert(QStringLiteral("v"), 1);
    envelope.insert(QStringLiteral("alg"), QLatin1String(kEnvelopeAlgorithm));
    envelope.insert(QStringLiteral("salt"), QString::fromLatin1(salt.toBase64()));
    envelope.insert(QStringLiteral("iv"), QString::fromLatin1(nonce.toBase64()));
    envelope.insert(QStringLiteral("ct"), QString::fromLatin1(cipher.toBase64()));
    envelope.insert(QStringLiteral("tag"), QString::fromLatin1(tag.toBase64()));
    return QString::fromUtf8(QJsonDocument(envelope).toJson(QJsonDocument::Compact));
}

std::optional<Node> openNode(const QString& envelopeText) {
    const EnvelopeParts parts = parseEnvelope(envelopeText);
    return openWithKey(parts, deriveNodeKey(parts.salt));
}

QList<std::optional<Node>> openNodes(const QStringList& envelopeTexts) {
    QList<EnvelopeParts> parts;
    parts.reserve(envelopeTexts.size());
    for (const QString& text : envelopeTexts)
        parts.append(parseEnvelope(text));

    const QByteArray secret = passphrase();
    QList<QByteArray> missingSalts;
    for (const EnvelopeParts& p : parts) {
        if (!p.salt.isEmpty() && !missingSalts.contains(p.salt) && keyCache().find(cacheId(secret, p.salt)).isEmpty())
            missingSalts.append(p.salt);
    }
    if (!missingSalts.isEmpty()) {
        // Derivation is the slow part (100000 iterations each): run it on the pool and keep the
        // GUI thread's event loop turning until every key is in the cache.
        QFutureWatcher<QByteArray> watcher;
        QEventLoop loop;
        QObject::connect(&watcher, &QFutureWatcher<QByteArray>::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(QtConcurrent::mapped(missingSalts, [secret](const QByteArray& salt) {
            deriveWith(secret, salt);
            return QByteArray();
        }));
        if (!watcher.isFinished())
            loop.exec();
    }

    QList<std::optional<Node>> nodes;
    nodes.reserve(parts.size());
    for (const EnvelopeParts& p : parts)
        nodes.append(openWithKey(p, p.salt.isEmpty() ? QByteArray() : deriveWith(secret, p.salt)));
    return nodes;
}

void clearKeyCache() {
    keyCache().clear();
}

int cachedKeyCount() {
    return keyCache().size();
}

} // namespace crypto
