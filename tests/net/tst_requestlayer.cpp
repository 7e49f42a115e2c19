#include "RecordingServer.h"
#include "TestMain.h"

#include "app/AppConstants.h"
#include "model/SignInState.h"
#include "net/AgentEndpoint.h"
#include "net/ReplyGuard.h"
#include "net/ReplyLimits.h"
#include "net/RequestLayer.h"
#include "net/RequestResult.h"
#include "net/RequestTiming.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTimer>

using testsupport::RecordingServer;

class TestRequestLayer : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingServer> server;

    Node nodeAt(quint16 port, const QString& scheme = QStringLiteral("http")) const {
        Node node;
        node.agentApi.scheme = scheme;
        node.agentApi.host = QStringLiteral("127.0.0.1");
        node.agentApi.port = port;
        node.agentApi.token = QStringLiteral("agent-token");
        return node;
    }

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        server = std::make_unique<RecordingServer>();
        qputenv(app::kCloudApiUrlVariable, server->baseUrl().toUtf8());
        signInState() = {QStringLiteral("alice"), QStringLiteral("pw"), QStringLiteral("tok-123")};
    }

    QJsonObject call(bool cloud, const QString& method, const QJsonObject& body, int* status) {
        return cloud ? net::cloudRequest(method, QStringLiteral("/api/auth/login"), body, true, status)
                     : net::agentRequest(nodeAt(server->port()), method, QStringLiteral("/status"), body,
                                         status);
    }

    // Only a same-origin GET is followed; neither headers nor a body ever reach another origin.
    void redirects_data() {
        QTest::addColumn<bool>("cloud");
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("sameOrigin"); // followed exactly when the method is GET
        QTest::newRow("cloud GET 302 elsewhere") << true << "GET" << 302 << false;
        QTest::newRow("cloud sign-in POST 307 elsewhere") << true << "POST" << 307 << false;
        QTest::newRow("agent GET 302 elsewhere") << false << "GET" << 302 << false;
        QTest::newRow("cloud GET 301 same origin") << true << "GET" << 301 << true;
        QTest::newRow("agent POST 307 same origin") << false << "POST" << 307 << true;
    }
    void redirects() {
        QFETCH(bool, cloud);
        QFETCH(QString, method);
        QFETCH(int, code);
        QFETCH(bool, sameOrigin);
        RecordingServer other;
        const QString target = (sameOrigin ? server->baseUrl() : other.baseUrl()) + QStringLiteral("/moved");
        server->queueReply(RecordingServer::redirect(code, target));
        int status = -1;
        const QJsonObject reply =
            call(cloud, method, {{QStringLiteral("password"), QStringLiteral("pw")}}, &status);
        const bool followed = sameOrigin && method == QLatin1String("GET");
        QTRY_COMPARE_WITH_TIMEOUT(other.requests().size(), 0, 200);
        QCOMPARE(server->requests().size(), followed ? 2 : 1);
        QCOMPARE(status, followed ? 200 : 0);
        QCOMPARE(net::replyErrorText(reply), followed ? QString() : net::redirectRefusedText(QUrl(target)));
    }

    // A body that never ends, or announces more than the cap, ends the call with a reason.
    void oversizedRepliesAreAborted_data() {
        QTest::addColumn<bool>("cloud");
        QTest::addColumn<bool>("announced"); // else no Content-Length: the body runs until the close
        QTest::newRow("cloud body streams past the cap") << true << false;
        QTest::newRow("agent announces more than the cap") << false << true;
    }
    void oversizedRepliesAreAborted() {
        QFETCH(bool, cloud);
        QFETCH(bool, announced);
        RecordingServer::Reply endless = RecordingServer::json(200, "{\"a\":\"");
        endless.noContentLength = !announced;
        endless.announcedLength = net::limits::kApiReplyMaxBytes + 1;
        endless.streamBytes = announced ? 0 : net::limits::kApiReplyMaxBytes + 8 * net::limits::kMiB;
        server->queueReply(endless);
        int status = -1;
        const QJsonObject reply = call(cloud, QStringLiteral("GET"), {}, &status);
        QCOMPARE(status, 0);
        QCOMPARE(net::replyErrorText(reply), net::replyTooLargeText(net::limits::kApiReplyMaxBytes));
    }

    // Engine installs and the Agent update answer only when done; short calls keep the short limit.
    void longAgentOperationsOutwaitTheShortLimit() {
        net::timing.blockingIdleTimeoutMs = 300;
        net::timing.longOperationIdleTimeoutMs = 5000;
        RecordingServer::Reply late = RecordingServer::json(200, R"({"installed":true})");
        late.delayMs = 1200;
        server->queueReply(late);
        server->queueReply(late);
        const QString path = QStringLiteral("/ffmpeg/install");
        const Node node = nodeAt(server->port());
        QVERIFY(
            !net::agentRequest(node, QStringLiteral("POST"), path, {}).contains(QStringLiteral("installed")));
        QVERIFY(net::agentRequestLong(node, QStringLiteral("POST"), path, {})
                    .value(QStringLiteral("installed"))
                    .toBool());
    }

    void cloudBodyAndVerbRules_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<QByteArray>("sentBody");
        const QJsonObject some{{QStringLiteral("displayName"), QStringLiteral("节点")}};
        const QByteArray compact = QJsonDocument(some).toJson(QJsonDocument::Compact);
        QTest::newRow("POST empty object sends nothing") << "POST" << QJsonObject() << QByteArray();
        QTest::newRow("POST compact JSON") << "POST" << some << compact;
        QTest::newRow("PUT compact JSON") << "PUT" << some << compact;
        QTest::newRow("PUT empty") << "PUT" << QJsonObject() << QByteArray();
        QTest::newRow("GET never sends a body") << "GET" << some << QByteArray();
        QTest::newRow("DELETE never sends a body") << "DELETE" << some << QByteArray();
    }
    void cloudBodyAndVerbRules() {
        QFETCH(QString, method);
        QFETCH(QJsonObject, body);
        QFETCH(QByteArray, sentBody);
        int status = -1;
        net::cloudRequest(method, QStringLiteral("/api/cloud/nodes/x?force=1"), body, true, &status);
        QCOMPARE(status, 200);
        const auto request = server->lastRequest();
        QCOMPARE(request.method, method.toLatin1());
        QCOMPARE(request.path, QByteArray("/api/cloud/nodes/x?force=1"));
        QCOMPARE(request.body, sentBody);
        QCOMPARE(request.header("content-type"), QByteArray("application/json"));
    }

    void cloudAuthorizationRules() {
        net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/a"), {}, true);
        QCOMPARE(server->lastRequest().header("authorization"), QByteArray("Bearer tok-123"));
        net::cloudRequest(QStringLiteral("POST"), QStringLiteral("/api/auth/login"), {}, false);
        QVERIFY(!server->lastRequest().hasHeader("authorization"));
        signInState().token.clear();
        net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/a"), {}, true);
        QVERIFY(!server->lastRequest().hasHeader("authorization"));
    }

    void cloudReplyParsing_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QJsonObject>("expected");
        QTest::newRow("object") << 200 << QByteArray(R"({"token":"t"})")
                                << QJsonObject{{QStringLiteral("token"), QStringLiteral("t")}};
        // A success that cannot be read is a failure, never an empty list.
        const QJsonObject malformed{{QStringLiteral("error"), QStringLiteral("回复格式错误")}};
        QTest::newRow("array is not an object") << 200 << QByteArray("[1,2]") << malformed;
        QTest::newRow("200 cut short") << 200 << QByteArray(R"({"files": [1, 2)") << malformed;
        QTest::newRow("200 html") << 200 << QByteArray("<html>ok</html>") << malformed;
        QTest::newRow("200 nested too deeply")
            << 200 << QByteArray(2000, '[') + QByteArray(2000, ']') << malformed;
        QTest::newRow("200 blank body") << 200 << QByteArray(" \r\n") << QJsonObject();
        QTest::newRow("html error page")
            << 502 << QByteArray("<html><body>Bad gateway</body></html>") << QJsonObject();
        QTest::newRow("error object kept on 401")
            << 401 << QByteArray(R"({"error":"bad"})")
            << QJsonObject{{QStringLiteral("error"), QStringLiteral("bad")}};
        QTest::newRow("empty body") << 204 << QByteArray() << QJsonObject();
    }
    // The same rules for the Cloud API and for an Agent.
    void cloudReplyParsing() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QJsonObject, expected);
        server->queueReply(RecordingServer::json(status, body));
        server->queueReply(RecordingServer::json(status, body));
        int got = 0;
        QCOMPARE(net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/x"), {}, true, &got), expected);
        QCOMPARE(got, status);
        got = 0;
        QCOMPARE(
            net::agentRequest(nodeAt(server->port()), QStringLiteral("GET"), QStringLiteral("/x"), {}, &got),
            expected);
        QCOMPARE(got, status);
    }

    void cloudUnreachableGivesStatusZero() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        qputenv(app::kCloudApiUrlVariable, QByteArray("http://127.0.0.1:") + QByteArray::number(port));
        int status = -1;
        QCOMPARE(net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/x"), {}, true, &status),
                 QJsonObject());
        QCOMPARE(status, 0);
    }

    void agentBodyAndVerbRules_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QByteArray>("sentBody");
        QTest::newRow("POST empty gives {}") << "POST" << QByteArray("{}");
        QTest::newRow("PUT custom verb with body") << "PUT" << QByteArray("{}");
        QTest::newRow("DELETE custom verb with body") << "DELETE" << QByteArray("{}");
        QTest::newRow("other verb as is") << "PATCH" << QByteArray("{}");
        QTest::newRow("GET without body") << "GET" << QByteArray();
    }
    void agentBodyAndVerbRules() {
        QFETCH(QString, method);
        QFETCH(QByteArray, sentBody);
        int status = 0;
        net::agentRequest(nodeAt(server->port()), method, QStringLiteral("/live/rooms/a%20b"), {}, &status);
        QCOMPARE(status, 200);
        const auto request = server->lastRequest();
        QCOMPARE(request.method, method.toLatin1());
        QCOMPARE(request.path, QByteArray("/live/rooms/a%20b"));
        QCOMPARE(request.body, sentBody);
        QCOMPARE(request.header("authorization"), QByteArray("Bearer agent-token"));
    }

    void agentDeleteCarriesBody() {
        net::agentRequest(nodeAt(server->port()), QStringLiteral("DELETE"), QStringLiteral("/files/videos"),
                          QJsonObject{{QStringLiteral("name"), QStringLiteral("a.mp4")}});
        QCOMPARE(server->lastRequest().body, QByteArray(R"({"name":"a.mp4"})"));
    }

    // A Node record without the Agent's host or token is never dialled; every page reads one reason.
    void agentWithoutEndpointIsNeverDialled_data() {
        QTest::addColumn<bool>("clearHost");
        QTest::newRow("no token") << false;
        QTest::newRow("no host") << true;
    }
    void agentWithoutEndpointIsNeverDialled() {
        QFETCH(bool, clearHost);
        Node node = nodeAt(server->port());
        (clearHost ? node.agentApi.host : node.agentApi.token).clear();
        server->clear();
        const net::RequestResult result =
            net::agentCall(node, QStringLiteral("GET"), QStringLiteral("/files/videos"));
        QVERIFY(result.failed());
        QCOMPARE(result.text(), QString::fromUtf8(kNoAgentEndpointText));
        QTest::qWait(50);
        QVERIFY(server->requests().isEmpty());
    }

    void agentEmptyTokenStillSendsHeader() {
        Node node = nodeAt(server->port());
        node.agentApi.token.clear();
        const QNetworkRequest request = net::agentNetworkRequest(node, QStringLiteral("/status"));
        QVERIFY(request.hasRawHeader("Authorization"));
        QCOMPARE(request.rawHeader("Authorization"), QByteArray("Bearer "));
    }

    void agentUrlDefaultsScheme() {
        Node node = nodeAt(39271, QString());
        node.agentApi.host = QStringLiteral("agent.example");
        QCOMPARE(net::agentNetworkRequest(node, QStringLiteral("/status?x=1")).url().toString(),
                 QStringLiteral("http://agent.example:39271/status?x=1"));
        node.agentApi.scheme = QStringLiteral("https");
        QCOMPARE(net::agentUrl(node, QStringLiteral("/status")),
                 QStringLiteral("https://agent.example:39271/status"));
    }

    void agentNetworkFailureBecomesError() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        int status = -1;
        const QJsonObject reply =
            net::agentRequest(nodeAt(port), QStringLiteral("GET"), QStringLiteral("/status"), {}, &status);
        QCOMPARE(status, 0);
        QVERIFY(!net::replyErrorText(reply).isEmpty());
        QCOMPARE(net::describeFailure(reply, status), reply.value(QStringLiteral("error")).toString());
    }

    void agentHttpErrorKeepsServerBody() {
        server->queueReply(RecordingServer::json(500, R"({"error":"engine broken"})"));
        int status = 0;
        const QJsonObject reply = net::agentRequest(nodeAt(server->port()), QStringLiteral("POST"),
                                                    QStringLiteral("/gost/install"), {}, &status);
        QCOMPARE(status, 500);
        QCOMPARE(net::replyErrorText(reply), QStringLiteral("engine broken"));
    }

    void agentBodyCutShortIsAFailure() {
        // The connection closes after half of an announced body: the part that arrived is not a reply.
        RecordingServer::Reply cut = RecordingServer::json(200, R"({"installed":true,"version":"1.0"})");
        cut.announcedLength = 200;
        server->queueReply(cut);
        int status = 0;
        const QJsonObject reply = net::agentRequest(nodeAt(server->port()), QStringLiteral("POST"),
                                                    QStringLiteral("/gost/install"), {}, &status);
        QVERIFY2(!net::replyErrorText(reply).isEmpty(), "a truncated body must carry an error");
        QVERIFY(!reply.contains(QStringLiteral("installed")));
    }

    void idleTimeoutEndsHangingCalls() {
        net::timing.blockingIdleTimeoutMs = 400;
        RecordingServer::Reply hang;
        hang.hang = true;
        server->queueReply(hang);
        QElapsedTimer clock;
        clock.start();
        int status = -1;
        const QJsonObject cloud =
            net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/hang"), {}, true, &status);
        QCOMPARE(status, 0);
        QCOMPARE(cloud, QJsonObject());
        QVERIFY(clock.elapsed() < 10000);

        server->queueReply(hang);
        const QJsonObject agent = net::agentRequest(nodeAt(server->port()), QStringLiteral("GET"),
                                                    QStringLiteral("/status"), {}, &status);
        QCOMPARE(status, 0);
        QVERIFY(!net::replyErrorText(agent).isEmpty());
        QCOMPARE(net::replyErrorText(agent), QStringLiteral("连接超时：1 秒没有收到任何数据"));
    }

    void idleTimeoutIsNotATotalLimit() {
        // A reply that takes longer than the limit in total but keeps bytes flowing must not be cut.
        net::timing.blockingIdleTimeoutMs = 600;
        RecordingServer::Reply slow;
        slow.delayMs = 300;
        server->queueReply(slow);
        server->queueReply(slow);
        int status = 0;
        net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/a"), {}, true, &status);
        QCOMPARE(status, 200);
        net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/b"), {}, true, &status);
        QCOMPARE(status, 200);
    }

    void pollersKeepRunningDuringBlockingCall() {
        RecordingServer::Reply slow;
        slow.delayMs = 300;
        server->queueReply(slow);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
        timer.start(20);
        net::cloudRequest(QStringLiteral("GET"), QStringLiteral("/slow"), {}, true);
        QVERIFY(ticks >= 3);
    }

    void replyErrorText() {
        QCOMPARE(net::replyErrorText(QJsonObject{{QStringLiteral("error"), QStringLiteral("  boom \n")}}),
                 QStringLiteral("boom"));
        QCOMPARE(net::replyErrorText(QJsonObject{{QStringLiteral("error"), 5}}), QString());
        QCOMPARE(net::replyErrorText(QJsonObject()), QString());
    }

    void describeFailure_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("rooms skip blanks")
            << QByteArray(R"({"error":"in use","rooms":[{"name":"A"},{"name":"  "},{"name":"B"}]})") << 409
            << "资源正在被房间使用：A、B";
        QTest::newRow("rooms as plain names")
            << QByteArray(R"({"rooms":["直播1"," ","直播2"]})") << 409 << "资源正在被房间使用：直播1、直播2";
        QTest::newRow("only blank rooms fall through")
            << QByteArray(R"({"rooms":[{"name":""}],"error":"x"})") << 409 << "x";
        QTest::newRow("empty reply status 0") << QByteArray("{}") << 0 << "请求失败";
        QTest::newRow("empty reply negative status") << QByteArray("{}") << -1 << "请求失败";
        QTest::newRow("empty reply 502") << QByteArray("{}") << 502 << "HTTP 502";
        QTest::newRow("error string") << QByteArray(R"({"error":"磁盘已满"})") << 500 << "磁盘已满";
        QTest::newRow("blank error") << QByteArray(R"({"error":"  "})") << 500 << "HTTP 500";
        QTest::newRow("error not a string") << QByteArray(R"({"error":{"a":1}})") << 500 << "HTTP 500";
    }
    void describeFailure() {
        QFETCH(QByteArray, reply);
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(net::describeFailure(QJsonDocument::fromJson(reply).object(), status), text);
    }
};

ONDIVO_TEST_MAIN_CORE(TestRequestLayer)
#include "tst_requestlayer.moc"
