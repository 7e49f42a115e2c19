#include "TestMain.h"

#include "account/CloudNodeRules.h"
#include "crypto/NodeEnvelope.h"
#include "mainwindow/BusyCounter.h"
#include "model/SignInState.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

Node makeNode(const QString& host, const QString& name, const QString& displayName = QString()) {
    Node node;
    node.host = host;
    node.name = name;
    node.displayName = displayName;
    node.privateKey = QStringLiteral("-----BEGIN KEY-----x");
    return node;
}

QJsonObject entry(const QString& id, const QString& displayName, const QString& envelope) {
    return QJsonObject{{"id", id}, {"displayName", displayName}, {"encryptedBlob", envelope}};
}

QString importCode(const QJsonObject& nodeJson) {
    return QString::fromLatin1(kImportCodePrefix) +
           QString::fromLatin1(QJsonDocument(nodeJson)
                                   .toJson(QJsonDocument::Compact)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

class TestCloudNodeRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        crypto::clearKeyCache();
        signInState() = {QStringLiteral("alice"), QStringLiteral("pw-1"), QStringLiteral("t")};
    }

    void envelopesOfAnotherPasswordAreSkipped() {
        const QString mine = crypto::sealNode(makeNode(QStringLiteral("10.0.0.1"), QStringLiteral("one")));
        signInState().password = QStringLiteral("changed elsewhere");
        const QString foreign = crypto::sealNode(makeNode(QStringLiteral("10.0.0.2"), QStringLiteral("two")));
        signInState().password = QStringLiteral("pw-1");
        const QString alsoMine =
            crypto::sealNode(makeNode(QStringLiteral("10.0.0.3"), QStringLiteral("three")));

        const QJsonArray entries{entry("a", "A", mine), entry("b", "B", foreign), entry("c", "C", alsoMine),
                                 entry("d", "D", QStringLiteral("not an envelope"))};
        const QList<Node> nodes =
            account::nodesFromEntries(entries, crypto::openNodes(account::envelopeTexts(entries)));
        QCOMPARE(nodes.size(), 2);
        QCOMPARE(nodes[0].id, QStringLiteral("a"));
        QCOMPARE(nodes[0].host, QStringLiteral("10.0.0.1"));
        QCOMPARE(nodes[1].id, QStringLiteral("c"));
        QCOMPARE(nodes[1].displayName, QStringLiteral("C"));
    }

    void displayNameRules_data() {
        QTest::addColumn<QString>("entryName");
        QTest::addColumn<QString>("sealedName");
        QTest::addColumn<QString>("serverName");
        QTest::addColumn<QString>("expected");
        QTest::newRow("entry wins, trimmed") << "  生产 1 "
                                             << "old"
                                             << "srv"
                                             << "生产 1";
        QTest::newRow("blank entry keeps sealed") << " "
                                                  << "sealed"
                                                  << "srv"
                                                  << "sealed";
        QTest::newRow("both blank: server name") << " "
                                                 << ""
                                                 << "srv"
                                                 << "srv";
        QTest::newRow("all empty") << ""
                                   << ""
                                   << ""
                                   << "";
        QTest::newRow("blank sealed name: server name") << ""
                                                        << "  "
                                                        << "srv"
                                                        << "srv";
    }
    void displayNameRules() {
        QFETCH(QString, entryName);
        QFETCH(QString, sealedName);
        QFETCH(QString, serverName);
        QFETCH(QString, expected);
        const QJsonArray entries{entry("n1", entryName, QString())};
        const QList<std::optional<Node>> opened{makeNode(QStringLiteral("h"), serverName, sealedName)};
        const QList<Node> nodes = account::nodesFromEntries(entries, opened);
        QCOMPARE(nodes.size(), 1);
        QCOMPARE(nodes[0].displayName, expected);
    }

    void nodesWithoutHostAndOddIdsHandled() {
        const QJsonArray entries{QJsonObject{{"id", 17}, {"encryptedBlob", "x"}},
                                 QJsonObject{{"id", "gone"}, {"encryptedBlob", "y"}}};
        const QList<std::optional<Node>> opened{makeNode(QStringLiteral("h"), QStringLiteral("s")),
                                                makeNode(QString(), QStringLiteral("no host"))};
        const QList<Node> nodes = account::nodesFromEntries(entries, opened);
        QCOMPARE(nodes.size(), 1);
        QCOMPARE(nodes[0].id, QStringLiteral("17"));
    }

    void listLoadStatus_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("ok");
        QTest::newRow("no answer") << 0 << false;
        QTest::newRow("200") << 200 << true;
        QTest::newRow("299") << 299 << true;
        QTest::newRow("300") << 300 << false;
        QTest::newRow("401") << 401 << false;
    }
    void listLoadStatus() {
        QFETCH(int, status);
        QFETCH(bool, ok);
        QCOMPARE(account::listLoadSucceeded(status, QJsonObject{{"nodes", QJsonArray()}}), ok);
        QCOMPARE(account::uploadSucceeded(status), ok);
    }

    void listReplyWithoutNodesArrayIsNoList_data() {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<bool>("ok");
        QTest::newRow("empty array") << QJsonObject{{"nodes", QJsonArray()}} << true;
        QTest::newRow("body was not JSON") << QJsonObject() << false;
        QTest::newRow("nodes not an array") << QJsonObject{{"nodes", "none"}} << false;
    }
    void listReplyWithoutNodesArrayIsNoList() {
        QFETCH(QJsonObject, reply);
        QFETCH(bool, ok);
        QCOMPARE(account::listLoadSucceeded(200, reply), ok);
    }

    void importForm_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("problem");
        const QJsonObject full{{"name", "srv"}, {"host", "10.1.1.1"}, {"privateKey", "KEY"}};
        const QString good = importCode(full);
        const QString invalid = QStringLiteral("剪贴板里没有有效的 Import Code。");
        QTest::newRow("valid, blanks around") << " 节点 A "
                                              << "\n " + good + " \n"
                                              << QString();
        QTest::newRow("explanation line before") << "A"
                                                 << "把下面这行粘贴到客户端：\n" + good << QString();
        QTest::newRow("empty name") << "  " << good << QStringLiteral("请输入节点名称。");
        QTest::newRow("trailing junk") << "A" << good + " thanks!" << invalid;
        QTest::newRow("no private key")
            << "A" << importCode(QJsonObject{{"name", "srv"}, {"host", "10.1.1.1"}}) << invalid;
        QTest::newRow("no host") << "A" << importCode(QJsonObject{{"privateKey", "KEY"}}) << invalid;
        QTest::newRow("invalid base64") << "A" << QStringLiteral("ondivo://node?data=%%%***") << invalid;
        QTest::newRow("no prefix") << "A" << QStringLiteral("node?data=eyJob3N0IjoiYSJ9") << invalid;
        QTest::newRow("empty") << "A" << QString() << invalid;
    }
    void importForm() {
        QFETCH(QString, name);
        QFETCH(QString, code);
        QFETCH(QString, problem);
        const auto result = account::nodeFromImportForm(name, code);
        if (problem.isEmpty()) {
            QVERIFY(std::holds_alternative<Node>(result));
            const Node node = std::get<Node>(result);
            QCOMPARE(node.displayName, name.trimmed());
            QCOMPARE(node.host, QStringLiteral("10.1.1.1"));
        } else {
            QVERIFY(std::holds_alternative<QString>(result));
            QCOMPARE(std::get<QString>(result), problem);
        }
    }

    void deleteConfirmationTexts() {
        QCOMPARE(account::deleteConfirmation({QStringLiteral("东京")}),
                 QStringLiteral("确定删除节点 东京 ?"));
        QCOMPARE(account::deleteConfirmation({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}),
                 QStringLiteral("确定删除选中的 3 个节点？"));
        QCOMPARE(account::nodePath(QStringLiteral("n-1"), false), QStringLiteral("/api/cloud/nodes/n-1"));
        QCOMPARE(account::nodePath(QStringLiteral("n-1"), true),
                 QStringLiteral("/api/cloud/nodes/n-1?force=1"));
    }

    void nodeInUseRecognised_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("inUse");
        QTest::newRow("409 NODE_IN_USE") << 409 << "NODE_IN_USE" << true;
        QTest::newRow("409 other code") << 409 << "LOCKED" << false;
        QTest::newRow("400 NODE_IN_USE") << 400 << "NODE_IN_USE" << false;
        QTest::newRow("409 lower case") << 409 << "node_in_use" << false;
    }
    void nodeInUseRecognised() {
        QFETCH(int, status);
        QFETCH(QString, code);
        QFETCH(bool, inUse);
        QCOMPARE(account::isNodeInUse(status, QJsonObject{{"code", code}}), inUse);
    }

    void nodeInUseQuestion_data() {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("expected");
        const QString head =
            QStringLiteral("节点 东京 正在被 %1 个直播房间使用。\n\n删除节点后，这些房间会解除节点绑定，"
                           "正在推流或重试中的房间会标记为异常。");
        const QString tail = QStringLiteral("\n\n是否继续删除？");
        QTest::newRow("three rooms, two named")
            << QJsonObject{{"code", "NODE_IN_USE"},
                           {"rooms",
                            QJsonArray{QJsonObject{{"name", "晚间直播"}}, QJsonObject{{"name", " 早间 "}}}},
                           {"roomCount", 3}}
            << head.arg(3) + QStringLiteral("\n\n关联房间:\n晚间直播\n早间\n...还有 1 个") + tail;
        QTest::newRow("blank names skipped, count from names")
            << QJsonObject{{"rooms", QJsonArray{QJsonObject{{"name", "A"}}, QJsonObject{{"name", "  "}},
                                                QJsonObject{{"name", "B"}}}}}
            << head.arg(2) + QStringLiteral("\n\n关联房间:\nA\nB") + tail;
        QTest::newRow("no names") << QJsonObject{{"roomCount", 4}} << head.arg(4) + tail;
        QTest::newRow("nothing at all") << QJsonObject() << head.arg(0) + tail;
        QTest::newRow("all named") << QJsonObject{{"rooms", QJsonArray{QJsonObject{{"name", "A"}}}},
                                                  {"roomCount", 1}}
                                   << head.arg(1) + QStringLiteral("\n\n关联房间:\nA") + tail;
    }
    void nodeInUseQuestion() {
        QFETCH(QJsonObject, reply);
        QFETCH(QString, expected);
        QCOMPARE(account::nodeInUseQuestion(QStringLiteral("东京"), reply), expected);
    }

    void labelWithPlaceholderIsNotExpanded() {
        const QString text =
            account::nodeInUseQuestion(QStringLiteral("box%2"), QJsonObject{{"roomCount", 5}});
        QVERIFY(text.startsWith(QStringLiteral("节点 box%2 正在被 5 个")));
        QCOMPARE(account::statusLine(QStringLiteral("u%2"), 3), QStringLiteral("已登录 u%2    云端节点: 3"));
    }

    void deletionFailureLines_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("line");
        QTest::newRow("deleted") << 200 << QJsonObject() << QString();
        QTest::newRow("204") << 204 << QJsonObject() << QString();
        QTest::newRow("error text") << 403 << QJsonObject{{"error", " 无权删除 "}} << "东京: 无权删除";
        QTest::newRow("409 other code") << 409 << QJsonObject{{"code", "LOCKED"}} << "东京: HTTP 409";
        QTest::newRow("no answer") << 0 << QJsonObject() << "东京: 请求失败";
    }
    void deletionFailureLines() {
        QFETCH(int, status);
        QFETCH(QJsonObject, reply);
        QFETCH(QString, line);
        const auto found = account::deletionFailureLine(QStringLiteral("东京"), status, reply);
        QCOMPARE(found.value_or(QString()), line);
    }

    void failureMessageAndStatusLines() {
        QCOMPARE(account::deletionFailureMessage(
                     {account::cancelledDeletionLine(QStringLiteral("A")), QStringLiteral("B: HTTP 500")}),
                 QStringLiteral("删除节点失败:\n\nA: 已取消删除\nB: HTTP 500"));
        QCOMPARE(account::signedInLine(QStringLiteral("alice")), QStringLiteral("已登录 alice"));
        QCOMPARE(account::statusLine(QStringLiteral("alice"), 0),
                 QStringLiteral("已登录 alice    云端节点: 0"));
    }

    void busyCounterNests() {
        BusyCounter busy;
        QCOMPARE(busy.turnOff(), BusyCounter::Change::None);
        QCOMPARE(busy.count(), 0);
        QCOMPARE(busy.turnOn(), BusyCounter::Change::Started);
        QCOMPARE(busy.turnOn(), BusyCounter::Change::Retitled);
        QCOMPARE(busy.turnOff(), BusyCounter::Change::Retitled);
        QCOMPARE(busy.count(), 1);
        QCOMPARE(busy.turnOff(), BusyCounter::Change::Ended);
        QCOMPARE(busy.turnOff(), BusyCounter::Change::None);
        QCOMPARE(busy.count(), 0);
        QCOMPARE(busy.turnOn(), BusyCounter::Change::Started);
    }
};

ONDIVO_TEST_MAIN_CORE(TestCloudNodeRules)
#include "tst_cloudnoderules.moc"
