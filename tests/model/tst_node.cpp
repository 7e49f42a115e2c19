#include "TestMain.h"

#include "model/Node.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

class TestNode : public QObject {
    Q_OBJECT

    static QJsonObject vectors() {
        QFile file(QStringLiteral(ONDIVO_TESTDATA "/envelope-vectors.json"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    static QString code(const QByteArray& json, bool padded = true) {
        QByteArray data =
            json.toBase64(QByteArray::Base64UrlEncoding |
                          (padded ? QByteArray::KeepTrailingEquals : QByteArray::OmitTrailingEquals));
        return QLatin1String(kImportCodePrefix) + QString::fromLatin1(data);
    }

private Q_SLOTS:
    void parseNodeDefaults() {
        const Node node = parseNode(QJsonObject{{QStringLiteral("host"), QStringLiteral("h")}});
        QCOMPARE(node.port, 22);
        QCOMPARE(node.username, QStringLiteral("root"));
        QCOMPARE(node.agentApi.scheme, QStringLiteral("http"));
        QCOMPARE(node.agentApi.port, 39271);
        QCOMPARE(node.agentApi.host, QString());
        QCOMPARE(node.id, QString());
    }

    void parseNodeTypeRules() {
        const QJsonObject object = QJsonDocument::fromJson(R"({"username":"","port":"2222","name":5,
            "agentApi":{"scheme":"","port":8080.5,"token":"t"}})")
                                       .object();
        const Node node = parseNode(object);
        QCOMPARE(node.username, QString()); // explicit empty stays empty
        QCOMPARE(node.port, 22);            // text is not a number
        QCOMPARE(node.name, QString());
        QCOMPARE(node.agentApi.scheme, QString());
        QCOMPARE(node.agentApi.port, 39271); // not integral
        QCOMPARE(node.agentApi.token, QStringLiteral("t"));

        const Node notObject = parseNode(QJsonDocument::fromJson(R"({"agentApi":"x","port":2200})").object());
        QCOMPARE(notObject.agentApi.port, 39271);
        QCOMPARE(notObject.port, 2200);
    }

    // A number outside a port's range is no port: the default applies, with no conversion of it at all.
    void portRange_data() {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<int>("expected");
        QTest::newRow("lowest") << QByteArray("1") << 1;
        QTest::newRow("highest") << QByteArray("65535") << 65535;
        QTest::newRow("zero") << QByteArray("0") << -1;
        QTest::newRow("above a port") << QByteArray("65536") << -1;
        QTest::newRow("negative") << QByteArray("-22") << -1;
        QTest::newRow("1e300") << QByteArray("1e300") << -1;
        QTest::newRow("-1e300") << QByteArray("-1e300") << -1;
        QTest::newRow("beyond int") << QByteArray("4294967318") << -1;
    }
    void portRange() {
        QFETCH(QByteArray, port);
        QFETCH(int, expected);
        const Node node = parseNode(
            QJsonDocument::fromJson(R"({"port":)" + port + R"(,"agentApi":{"port":)" + port + "}}").object());
        QCOMPARE(node.port, expected < 0 ? 22 : expected);
        QCOMPARE(node.agentApi.port, expected < 0 ? 39271 : expected);
    }

    void jsonRoundTripHasEightMembersAndNoId() {
        Node node;
        node.id = QStringLiteral("cloud-id");
        node.displayName = QStringLiteral("生产");
        node.host = QStringLiteral("10.0.0.1");
        node.privateKey = QStringLiteral("KEY");
        node.agentApi.token = QStringLiteral("tok");
        node.lastAgentVersion = QStringLiteral("0.5.1");
        const QJsonObject json = nodeToJson(node);
        QCOMPARE(json.size(), 8);
        QVERIFY(!json.contains(QStringLiteral("id")));
        QCOMPARE(json.value(QStringLiteral("agentApi")).toObject().size(), 4);
        Node back = parseNode(json);
        back.id = node.id;
        back.lastAgentVersion = node.lastAgentVersion;
        QCOMPARE(back, node);
    }

    void labels() {
        Node node;
        node.name = QStringLiteral("srv");
        QCOMPARE(nodeLabel(node), QStringLiteral("srv"));
        node.displayName = QStringLiteral("显示");
        QCOMPARE(nodeLabel(node), QStringLiteral("显示"));
    }

    void importCodeVectors() {
        const QJsonArray codes = vectors().value(QStringLiteral("importCodes")).toArray();
        QVERIFY(codes.size() >= 4);
        for (const QJsonValue& value : codes) {
            const QJsonObject entry = value.toObject();
            const auto node = parseImportCode(entry.value(QStringLiteral("code")).toString());
            QVERIFY2(node.has_value() == entry.value(QStringLiteral("valid")).toBool(),
                     qPrintable(entry.value(QStringLiteral("name")).toString()));
            if (node)
                QCOMPARE(node->host, entry.value(QStringLiteral("host")).toString());
        }
    }

    void importCodeRules_data() {
        const QByteArray full =
            R"({"displayName":"生产服务器 1","name":"n","host":"203.0.113.10","privateKey":"K?>>","agentApi":{"host":"a","token":"t"}})";
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("padded") << code(full) << true;
        QTest::newRow("unpadded") << code(full, false) << true;
        QTest::newRow("text before") << QStringLiteral("导入信息如下：\n") + code(full) << true;
        QTest::newRow("surrounding blanks")
            << QStringLiteral("  ") + code(full) + QStringLiteral(" \n") << true;
        QTest::newRow("trailing junk") << code(full, false) + QStringLiteral(" 谢谢 thanks") << false;
        QTest::newRow("trailing junk after padding")
            << code(full) + QStringLiteral("\nplease import") << false;
        QTest::newRow("no private key") << code(R"({"host":"h"})") << false;
        QTest::newRow("no host") << code(R"({"privateKey":"k"})") << false;
        QTest::newRow("not json") << code("hello world") << false;
        QTest::newRow("prefix letter case")
            << code(full).replace(QStringLiteral("ondivo://"), QStringLiteral("Ondivo://")) << false;
        QTest::newRow("empty data") << QString::fromLatin1(kImportCodePrefix) << false;
        QTest::newRow("standard alphabet")
            << QString::fromLatin1(kImportCodePrefix) + QString::fromLatin1(full.toBase64()) << false;
    }
    void importCodeRules() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto node = parseImportCode(text);
        QCOMPARE(node.has_value(), valid);
        if (node) {
            QCOMPARE(node->displayName, QStringLiteral("生产服务器 1"));
            QCOMPARE(node->privateKey, QStringLiteral("K?>>"));
            QCOMPARE(node->agentApi.token, QStringLiteral("t"));
        }
    }
};

ONDIVO_TEST_MAIN_CORE(TestNode)
#include "tst_node.moc"
