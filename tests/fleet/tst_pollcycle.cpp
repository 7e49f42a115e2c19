#include "RecordingServer.h"
#include "TestMain.h"

#include "fleet/FleetTiming.h"
#include "fleet/NodeBatch.h"
#include "fleet/PollCycle.h"

#include <QThread>

using testsupport::RecordingServer;

namespace {

fleet::PollRequest get(const QString& key, const RecordingServer& server, int idleMs = 5000) {
    QNetworkRequest request(QUrl(server.baseUrl() + QStringLiteral("/status")));
    request.setTransferTimeout(idleMs);
    return {key, request};
}

Node agentNode(const QString& id, const QString& label, bool withAgent = true) {
    Node node;
    node.id = id;
    node.displayName = label;
    if (withAgent) {
        node.agentApi.host = QStringLiteral("127.0.0.1");
        node.agentApi.token = QStringLiteral("t");
    }
    return node;
}

} // namespace

// The shared poller and the batch over selected Nodes that every page uses.
class TestPollCycle : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Replies finishing while others are on their way wait to be handed over together; the last one of a
    // poll is never held back for the gathering time, nor are the ones gathered before it.
    void lastReplyIsHandedOverAtOnce() {
        fleet::timing.handOverGatherMs = 60000;
        RecordingServer quick;
        RecordingServer slow;
        RecordingServer::Reply delayed = RecordingServer::json(200, "{}");
        delayed.delayMs = 300;
        slow.setDefaultReply(delayed);
        fleet::PollCycle cycle;
        QObject context;
        QStringList delivered;
        cycle.send({get("first", quick), get("later", slow)}, &context, {},
                   [&delivered](const fleet::PollReply& reply) { delivered << reply.key; });
        QTRY_COMPARE_WITH_TIMEOUT(delivered, (QStringList{"first", "later"}), 3000);
    }

    // A key still waiting is skipped; the others go out and come back, each on its own.
    void waitingKeyIsSkippedOthersKeepTheirCadence() {
        RecordingServer silent;
        RecordingServer::Reply hang;
        hang.hang = true;
        silent.setDefaultReply(hang);
        RecordingServer healthy;
        healthy.setDefaultReply(RecordingServer::json(200, R"({"n": 1})"));
        fleet::PollCycle cycle;
        QObject context;
        QStringList delivered;
        auto deliver = [&delivered](const fleet::PollReply& reply) {
            delivered << reply.key;
        };

        QCOMPARE(cycle.send({get("a", silent, 1500), get("b", healthy)}, &context, {}, deliver),
                 (QStringList{"a", "b"}));
        QTRY_COMPARE(delivered, QStringList{"b"});
        QCOMPARE(cycle.send({get("a", silent, 1500), get("b", healthy)}, &context, {}, deliver),
                 QStringList{"b"});
        QTRY_COMPARE(delivered.count("b"), 2);
        QVERIFY(cycle.isWaiting("a"));
        QTRY_VERIFY(delivered.contains("a")); // the idle limit ends it
        QCOMPARE(silent.requests().size(), 1);
        QCOMPARE(cycle.waitingCount(), 0);
    }

    // What comes back: parsed on the worker thread, delivered on the caller's; failures as values.
    void repliesAsPlainValues_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("networkError");
        QTest::addColumn<QString>("errorStart");
        QTest::newRow("answer") << 200 << QByteArray(R"({"ok": true})") << false << QString();
        QTest::newRow("error status keeps its body")
            << 500 << QByteArray(R"({"error": "x"})") << false << QString();
        QTest::newRow("body over the cap")
            << 200 << QByteArray(5000, 'x') << true << QStringLiteral("回复超过");
    }
    void repliesAsPlainValues() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, networkError);
        QFETCH(QString, errorStart);
        RecordingServer server;
        server.setDefaultReply(RecordingServer::json(status, body));
        fleet::PollCycle cycle(4096);
        QObject context;
        std::optional<fleet::PollReply> got;
        QThread* parsedOn = nullptr;
        cycle.send(
            {get("k", server)}, &context,
            [&parsedOn](const fleet::PollReply& reply) {
                parsedOn = QThread::currentThread();
                return QVariant(reply.body.size());
            },
            [&got](const fleet::PollReply& reply) {
                QCOMPARE(QThread::currentThread(), qApp->thread());
                got = reply;
            });
        QTRY_VERIFY(got.has_value());
        QVERIFY(parsedOn && parsedOn != qApp->thread());
        QCOMPARE(got->status, status);
        QCOMPARE(got->networkError, networkError);
        QVERIFY(got->errorText.startsWith(errorStart));
        QCOMPARE(got->body, networkError ? QByteArray() : body);
        QCOMPARE(got->value.toInt(), got->body.size());
    }

    // A redirect to another origin is refused before the token could travel there.
    void redirectToAnotherOriginFails() {
        RecordingServer elsewhere;
        RecordingServer agent;
        RecordingServer::Reply moved = RecordingServer::json(302, "");
        moved.extraHeaders = {{"Location", (elsewhere.baseUrl() + QStringLiteral("/status")).toUtf8()}};
        agent.setDefaultReply(moved);
        fleet::PollCycle cycle;
        QObject context;
        std::optional<fleet::PollReply> got;
        fleet::PollRequest request = get("k", agent);
        request.request.setRawHeader("Authorization", "Bearer secret");
        cycle.send({request}, &context, {}, [&got](const fleet::PollReply& reply) { got = reply; });
        QTRY_VERIFY(got.has_value());
        QVERIFY(got->networkError);
        QVERIFY(got->errorText.contains(elsewhere.baseUrl()));
        QTest::qWait(50);
        QCOMPARE(elsewhere.requests().size(), 0);
    }

    // A page that went away gets nothing, and its keys do not stay waiting.
    void goneContextGetsNothing() {
        RecordingServer server;
        RecordingServer::Reply slow = RecordingServer::json(200, "{}");
        slow.delayMs = 100;
        server.setDefaultReply(slow);
        fleet::PollCycle cycle;
        auto context = std::make_unique<QObject>();
        int delivered = 0;
        cycle.send({get("k", server)}, context.get(), {},
                   [&delivered](const fleet::PollReply&) { ++delivered; });
        context.reset();
        QTRY_COMPARE(cycle.waitingCount(), 0);
        QCOMPARE(delivered, 0);
    }

    // The batch: order kept, Nodes without Agent fail without a request, texts taken literally.
    void batchOverSelectedNodes() {
        const QList<Node> nodes{agentNode("a", "甲 %1"), agentNode("b", "乙", false),
                                agentNode("c", "丙 50%")};
        const QList<fleet::NodeRef> targets = fleet::snapshotRows(nodes, {2, 7, 0, 1});
        QCOMPARE(targets.size(), 3);
        QStringList stepped;
        const fleet::BatchReport report = fleet::runBatch(targets, [&stepped](const fleet::NodeRef& target) {
            stepped << target.id;
            return target.id == "a" ? fleet::StepOutcome::success()
                                    : fleet::StepOutcome::failure("HTTP 500 %2");
        });
        QCOMPARE(stepped, (QStringList{"c", "a"}));
        QCOMPARE(report.successes(), 1);
        QCOMPARE(report.failures(), 2);
        QCOMPARE(fleet::batchSummary(QStringLiteral("启动"), report),
                 QStringLiteral("启动完成：成功 1，失败 2\n\n丙 50%: HTTP 500 %2\n乙: 缺少 Agent API 信息"));
        QCOMPARE(fleet::snapshotFiltered(nodes, "gone").size(), 0);
        QCOMPARE(fleet::snapshotFiltered(nodes, "b").value(0).row, 1);
    }
};

ONDIVO_TEST_MAIN_CORE(TestPollCycle)
#include "tst_pollcycle.moc"
