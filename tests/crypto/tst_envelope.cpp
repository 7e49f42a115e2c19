#include "TestMain.h"

#include "crypto/CryptoPrimitives.h"
#include "crypto/NodeEnvelope.h"
#include "model/SignInState.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTimer>

class TestEnvelope : public QObject {
    Q_OBJECT

    QJsonObject vectors;

    void signInAsVectorAccount() {
        signInState() = {vectors.value(QStringLiteral("username")).toString(),
                         vectors.value(QStringLiteral("password")).toString(), QStringLiteral("t")};
    }

    static Node sampleNode() {
        Node node;
        node.displayName = QStringLiteral("香港 1");
        node.name = QStringLiteral("srv-hk");
        node.host = QStringLiteral("203.0.113.10");
        node.privateKey = QStringLiteral("-----BEGIN KEY-----\nabc\n-----END KEY-----\n");
        node.agentApi.host = QStringLiteral("203.0.113.10");
        node.agentApi.token = QStringLiteral("tok");
        return node;
    }

    static QString withMember(const QString& envelope, const QString& key, const QJsonValue& value) {
        QJsonObject object = QJsonDocument::fromJson(envelope.toUtf8()).object();
        if (value.isUndefined())
            object.remove(key);
        else
            object.insert(key, value);
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }

private Q_SLOTS:
    void initTestCase() {
        QFile file(QStringLiteral(ONDIVO_TESTDATA "/envelope-vectors.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        vectors = QJsonDocument::fromJson(file.readAll()).object();
    }

    void init() {
        crypto::clearKeyCache();
        signInAsVectorAccount();
    }

    void derivedKeyMatchesReference() {
        QByteArray salt;
        for (int i = 0; i < 16; ++i)
            salt.append(char(i));
        QCOMPARE(crypto::deriveNodeKey(salt).toHex(),
                 vectors.value(QStringLiteral("derivedKeyHex_salt1")).toString().toLatin1());
    }

    void referenceEnvelopes() {
        const QJsonArray envelopes = vectors.value(QStringLiteral("envelopes")).toArray();
        QVERIFY(envelopes.size() >= 3);
        int opened = 0, refused = 0;
        for (const QJsonValue& value : envelopes) {
            const QJsonObject entry = value.toObject();
            const QString name = entry.value(QStringLiteral("name")).toString();
            const auto node = crypto::openNode(entry.value(QStringLiteral("envelope")).toString());
            if (entry.contains(QStringLiteral("expect")) && !entry.value(QStringLiteral("expect")).isNull()) {
                QVERIFY2(node.has_value(), qPrintable(name));
                QCOMPARE(nodeToJson(*node), entry.value(QStringLiteral("expect")).toObject());
                ++opened;
            } else {
                QVERIFY2(!node.has_value(), qPrintable(name));
                ++refused;
            }
        }
        QVERIFY(opened >= 2);
        QVERIFY(refused >= 1);
    }

    void sealTwiceDiffersAndBothOpen() {
        const Node node = sampleNode();
        const QString a = crypto::sealNode(node);
        const QString b = crypto::sealNode(node);
        QVERIFY(!a.isEmpty());
        QVERIFY(a != b);
        const QJsonObject envelope = QJsonDocument::fromJson(a.toUtf8()).object();
        QCOMPARE(envelope.value(QStringLiteral("v")).toInt(), 1);
        QCOMPARE(envelope.value(QStringLiteral("alg")).toString(), QStringLiteral("PBKDF2-SHA256-A256GCM"));
        QCOMPARE(QByteArray::fromBase64(envelope.value(QStringLiteral("salt")).toString().toLatin1()).size(),
                 16);
        QCOMPARE(QByteArray::fromBase64(envelope.value(QStringLiteral("iv")).toString().toLatin1()).size(),
                 12);
        QCOMPARE(QByteArray::fromBase64(envelope.value(QStringLiteral("tag")).toString().toLatin1()).size(),
                 16);
        QCOMPARE(QByteArray::fromBase64(envelope.value(QStringLiteral("ct")).toString().toLatin1()),
                 QByteArray::fromBase64(envelope.value(QStringLiteral("ct")).toString().toLatin1()));
        QCOMPARE(QByteArray::fromBase64(envelope.value(QStringLiteral("ct")).toString().toLatin1()).size(),
                 QJsonDocument(nodeToJson(node)).toJson(QJsonDocument::Compact).size());
        QCOMPARE(crypto::openNode(a), std::optional<Node>(node));
        QCOMPARE(crypto::openNode(b), std::optional<Node>(node));
    }

    void changedPasswordOrAccountFails() {
        const QString sealed = crypto::sealNode(sampleNode());
        signInState().password += QLatin1Char('x');
        QVERIFY(!crypto::openNode(sealed).has_value());
        signInAsVectorAccount();
        signInState().username = signInState().username.toUpper();
        QVERIFY(!crypto::openNode(sealed).has_value());
        signInAsVectorAccount();
        QVERIFY(crypto::openNode(sealed).has_value());
    }

    void damagedEnvelopes_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("missing salt") << "salt" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("missing iv") << "iv" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("missing ct") << "ct" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("missing tag") << "tag" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("short iv") << "iv" << QJsonValue(QString::fromLatin1(QByteArray(8, 'a').toBase64()));
        QTest::newRow("long iv") << "iv" << QJsonValue(QString::fromLatin1(QByteArray(16, 'a').toBase64()));
        QTest::newRow("short tag") << "tag"
                                   << QJsonValue(QString::fromLatin1(QByteArray(12, 'a').toBase64()));
        QTest::newRow("invalid base64 salt") << "salt" << QJsonValue(QStringLiteral("***"));
        QTest::newRow("invalid base64 ct") << "ct" << QJsonValue(QStringLiteral("!!!!"));
        QTest::newRow("numeric salt") << "salt" << QJsonValue(42);
    }
    void damagedEnvelopes() {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        const QString sealed = crypto::sealNode(sampleNode());
        QVERIFY(!crypto::openNode(withMember(sealed, key, value)).has_value());
    }

    void notJsonAtAll() {
        QVERIFY(!crypto::openNode(QString()).has_value());
        QVERIFY(!crypto::openNode(QStringLiteral("not json")).has_value());
        QVERIFY(!crypto::openNode(QStringLiteral("[1,2,3]")).has_value());
    }

    void randomMutationsNeverOpenToAnotherNode() {
        const Node node = sampleNode();
        const QByteArray sealed = crypto::sealNode(node).toUtf8();
        QRandomGenerator random(20261208);
        int openedSame = 0;
        for (int i = 0; i < 300; ++i) {
            QByteArray mutated = sealed;
            const int flips = 1 + int(random.bounded(3));
            for (int f = 0; f < flips; ++f) {
                const int at = int(random.bounded(int(mutated.size())));
                switch (random.bounded(3)) {
                case 0:
                    mutated[at] = char(mutated[at] ^ (1 << random.bounded(7)));
                    break;
                case 1:
                    mutated.remove(at, 1);
                    break;
                default:
                    mutated.insert(at, char(32 + random.bounded(90)));
                    break;
                }
            }
            const auto opened = crypto::openNode(QString::fromUtf8(mutated));
            if (opened) {
                // Only a change that leaves the decoded bytes intact (e.g. in "alg") may still open.
                QCOMPARE(*opened, node);
                ++openedSame;
            }
        }
        QVERIFY(openedSame < 300);
    }

    void openNodesKeepsOrderAndSkipsBadOnes() {
        QStringList envelopes;
        QList<Node> nodes;
        for (int i = 0; i < 6; ++i) {
            Node node = sampleNode();
            node.name = QStringLiteral("n%1").arg(i);
            nodes << node;
            envelopes << crypto::sealNode(node);
        }
        envelopes.insert(2, QStringLiteral("{}"));
        crypto::clearKeyCache();
        const auto opened = crypto::openNodes(envelopes);
        QCOMPARE(opened.size(), 7);
        QVERIFY(!opened[2].has_value());
        QCOMPARE(opened[0]->name, QStringLiteral("n0"));
        QCOMPARE(opened[3]->name, QStringLiteral("n2"));
        QCOMPARE(opened[6]->name, QStringLiteral("n5"));
        QCOMPARE(crypto::cachedKeyCount(), 6);

        // Reopening derives nothing new; another password shares none of the cached keys.
        crypto::openNodes(envelopes);
        QCOMPARE(crypto::cachedKeyCount(), 6);
        signInState().password = QStringLiteral("other");
        const auto refused = crypto::openNodes(envelopes);
        for (const auto& node : refused)
            QVERIFY(!node.has_value());
        QCOMPARE(crypto::cachedKeyCount(), 12);
        crypto::clearKeyCache();
        QCOMPARE(crypto::cachedKeyCount(), 0);
    }

    void eventLoopTurnsWhileKeysDerive() {
        QStringList envelopes;
        for (int i = 0; i < 8; ++i)
            envelopes << crypto::sealNode(sampleNode());
        crypto::clearKeyCache();
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
        timer.start(1);
        const auto opened = crypto::openNodes(envelopes);
        QCOMPARE(opened.size(), 8);
        QVERIFY(opened[7].has_value());
        QVERIFY2(ticks > 0, "the calling thread's events must keep flowing during derivation");
    }

    void aesGcmPrimitive() {
        const QByteArray key(32, '\x11');
        const QByteArray nonce(12, '\x22');
        QByteArray cipher, tag(16, '\0');
        QVERIFY(crypto::aesGcmCrypt(true, key, nonce, QByteArray("hello"), cipher, tag));
        QCOMPARE(cipher.size(), 5);
        QByteArray plain;
        QVERIFY(crypto::aesGcmCrypt(false, key, nonce, cipher, plain, tag));
        QCOMPARE(plain, QByteArray("hello"));
        tag[0] = char(tag[0] ^ 1);
        QVERIFY(!crypto::aesGcmCrypt(false, key, nonce, cipher, plain, tag));
        QVERIFY(!crypto::aesGcmCrypt(true, QByteArray(16, 'k'), nonce, QByteArray("x"), cipher, tag));
        QCOMPARE(crypto::randomBytes(16).size(), 16);
        QVERIFY(crypto::randomBytes(0).isEmpty());
    }
};

ONDIVO_TEST_MAIN_CORE(TestEnvelope)
#include "tst_envelope.moc"
