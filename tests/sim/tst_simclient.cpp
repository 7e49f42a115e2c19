#include "Simulator.h"
#include "TestMain.h"

#include "crypto/NodeEnvelope.h"
#include "model/SignInState.h"
#include "net/RequestLayer.h"

#include <QJsonArray>

// The client's own request layer and envelope code against the simulator: what the pages will send
// (empty POST bodies, DELETE and PUT as custom verbs with a body) must reach the right routes.
class TestSimClient : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::Simulator> s;
    sim::AgentInfo agent;
    Node node;

private Q_SLOTS:
    void init() {
        s = std::make_unique<sim::Simulator>();
        QVERIFY(s->start());
        qputenv("ONDIVO_CLOUD_API_URL", s->cloudUrl().toUtf8());
        agent = s->startAgent();
        node = sim::Simulator::agentNode(agent, QStringLiteral("srv"), QStringLiteral("节点"));
        signInState() = {};
    }
    void cleanup() { s.reset(); }

    void signInLoadAndOpenNodes() {
        s->addNodes(QStringLiteral("u"), QStringLiteral("p"), {node, node});
        int status = 0;
        const QJsonObject login = net::cloudRequest(QStringLiteral("POST"), QStringLiteral("/api/auth/login"),
                                                    {{QStringLiteral("username"), QStringLiteral("u")},
                                                     {QStringLiteral("password"), QStringLiteral("p")}},
                                                    false, &status);
        QCOMPARE(status, 200);
        signInState() = {QStringLiteral("u"), QStringLiteral("p"),
                         login.value(QStringLiteral("token")).toString()};
        const QJsonObject list =
            net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/api/cloud/nodes"), {}, true, &status);
        QCOMPARE(status, 200);
        QStringList blobs;
        for (const auto& v : list.value(QStringLiteral("nodes")).toArray())
            blobs << v.toObject().value(QStringLiteral("encryptedBlob")).toString();
        crypto::clearKeyCache();
        const auto opened = crypto::openNodes(blobs);
        QCOMPARE(opened.size(), 2);
        for (const auto& n : opened) {
            QVERIFY(n);
            QCOMPARE(n->agentApi, node.agentApi);
        }
        // Without the token the same call is refused.
        signInState().token.clear();
        net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/api/cloud/nodes"), {}, true, &status);
        QCOMPARE(status, 401);
    }

    void agentVerbsReachTheirRoutes_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("GET") << "GET"
                             << "/status" << 200;
        QTest::newRow("POST with {}") << "POST"
                                      << "/rtmp/restart" << 200;
        QTest::newRow("PUT as custom verb") << "PUT"
                                            << "/rtmp/rooms/ROOM" << 200;
        QTest::newRow("DELETE as custom verb with body") << "DELETE"
                                                         << "/files/audio-folders?folder=bgm" << 200;
        QTest::newRow("unknown path") << "GET"
                                      << "/nothing/here" << 404;
    }
    void agentVerbsReachTheirRoutes() {
        QFETCH(QString, method);
        QFETCH(QString, path);
        QFETCH(int, status);
        const QString room =
            s->addRtmpRoom(agent.name, QStringLiteral("r")).value(QStringLiteral("id")).toString();
        s->addAudioFile(agent.name, QStringLiteral("bgm"), QStringLiteral("a.mp3"), 10);
        int got = 0;
        const QJsonObject reply =
            net::agentRequest(node, method, QString(path).replace(QStringLiteral("ROOM"), room),
                              {{QStringLiteral("name"), QStringLiteral("改名")},
                               {QStringLiteral("folder"), QStringLiteral("bgm")}},
                              &got);
        QCOMPARE(got, status);
        if (status == 404)
            QVERIFY(reply.value(QStringLiteral("error")).toString().contains(QStringLiteral("not found")));
        if (method == QLatin1String("PUT"))
            QCOMPARE(reply.value(QStringLiteral("name")).toString(), QStringLiteral("改名"));
    }

    void wrongAgentTokenAndUnreachableAgent() {
        Node wrong = node;
        wrong.agentApi.token = QStringLiteral("nope");
        int status = 0;
        QJsonObject reply =
            net::agentRequest(wrong, QStringLiteral("GET"), QStringLiteral("/status"), {}, &status);
        QCOMPARE(status, 401);
        QVERIFY(!net::replyErrorText(reply).isEmpty());
        s->stopAgent(agent.name);
        reply = net::agentRequest(node, QStringLiteral("GET"), QStringLiteral("/status"), {}, &status);
        QCOMPARE(status, 0);
        QVERIFY(!net::replyErrorText(reply).isEmpty());
    }

    void inUseRefusalReadsAsTheClientShowsIt() {
        s->addAccount(QStringLiteral("u"), QStringLiteral("p"));
        const QString id = s->addNode(QStringLiteral("u"), QStringLiteral("p"), QString(), node, agent.name);
        s->addLiveRoom(agent.name, {{QStringLiteral("name"), QStringLiteral("房间一")}});
        signInState() = {QStringLiteral("u"), QStringLiteral("p"),
                         s->login(QStringLiteral("u"), QStringLiteral("p"))};
        int status = 0;
        const QJsonObject reply = net::cloudRequest(
            QStringLiteral("DELETE"), QStringLiteral("/api/cloud/nodes/") + id, {}, true, &status);
        QCOMPARE(status, 409);
        QCOMPARE(reply.value(QStringLiteral("code")).toString(), QStringLiteral("NODE_IN_USE"));
        net::cloudRequest(QStringLiteral("DELETE"),
                          QStringLiteral("/api/cloud/nodes/") + id + QStringLiteral("?force=1"), {}, true,
                          &status);
        QCOMPARE(status, 200);
    }
};

ONDIVO_TEST_MAIN_CORE(TestSimClient)
#include "tst_simclient.moc"
