#include "crypto/NodeEnvelope.h"

#include "crypto/CryptoPrimitives.h"
#include "model/SignInState.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QtConcurrent/QtConcurrentMap>
#include <openssl/crypto.h>

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
        const auto result = QByteArray::fromBase64Encoding(
            object.value(QLatin1String(key)).toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        return result ? result.decoded : QByteArray();
    };
    return {decode("salt"), decode("iv"), decode("ct"), decode("tag")};
}

// "username:password" in UTF-8, assembled in one buffer so no stray copy of it is left to free
// unwiped. The caller wipes the result.
QByteArray passphrase() {
    const SignInState& state = signInState();
    QByteArray user = state.username.toUtf8();
    QByteArray password = state.password.toUtf8();
    QByteArray secret;
    secret.reserve(user.size() + 1 + password.size());
    secret.append(user).append(':').append(password);
    wipe(user);
    wipe(password);
    return secret;
}

// The cache id of an account and salt: a digest of the passphrase, followed by the salt. It is as
// sensitive as the key (it lets a guess of the password be checked), so it is wiped like one.
QByteArray cacheId(const QByteArray& secret, const QByteArray& salt) {
    QByteArray id = sha256(secret);
    id.append(salt);
    return id;
}

// Derived keys for this process only: never written anywhere; ids and keys are wiped when cleared and
// at exit. A handful of entries (one per salt), so a list is enough.
class KeyCache {
public:
    ~KeyCache() { clear(); }

    QByteArray find(const QByteArray& secret, const QByteArray& salt) {
        QByteArray id = cacheId(secret, salt);
        QMutexLocker lock(&mutex_);
        QByteArray key;
        for (const Entry& entry : entries_) {
            if (entry.id.size() == id.size() &&
                CRYPTO_memcmp(entry.id.constData(), id.constData(), size_t(id.size())) == 0) {
                key = entry.key;
                break;
            }
        }
        lock.unlock();
        wipe(id);
        return key;
    }

    void store(const QByteArray& secret, const QByteArray& salt, const QByteArray& key) {
        Entry entry{cacheId(secret, salt), key};
        QMutexLocker lock(&mutex_);
        entries_.append(entry);
    }

    void clear() {
        QMutexLocker lock(&mutex_);
        for (Entry& entry : entries_) {
            wipe(entry.id);
            wipe(entry.key);
        }
        entries_.clear();
    }

    int size() {
        QMutexLocker lock(&mutex_);
        return int(entries_.size());
    }

private:
    struct Entry {
        QByteArray id;
        QByteArray key;
    };
    QMutex mutex_;
    QList<Entry> entries_;
};

KeyCache& keyCache() {
    static KeyCache cache;
    return cache;
}

QByteArray deriveWith(const QByteArray& secret, const QByteArray& salt) {
    if (salt.isEmpty())
        return {};
    QByteArray key = keyCache().find(secret, salt);
    if (!key.isEmpty())
        return key;
    key = pbkdf2Sha256(secret, salt, kEnvelopeIterations, 32);
    if (!key.isEmpty())
        keyCache().store(secret, salt, key);
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

    QByteArray secret = passphrase();
    QList<QByteArray> missingSalts;
    for (const EnvelopeParts& p : parts) {
        if (p.salt.isEmpty() || missingSalts.contains(p.salt))
            continue;
        QByteArray cached = keyCache().find(secret, p.salt);
        if (cached.isEmpty())
            missingSalts.append(p.salt);
        wipe(cached);
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
    wipe(secret); // the workers' copies shared this buffer and are gone
    return nodes;
}

void clearKeyCache() {
    keyCache().clear();
}

int cachedKeyCount() {
    return keyCache().size();
}

} // namespace crypto
