#include "SimHttp.h"
#include "Simulator.h"
#include "TestMain.h"

#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>

// One simulated Agent over real sockets: token check, chunked uploads, the self-update restart,
// live pushes, file refusals and bridge tests.
class TestSimAgent : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::Simulator> s;
    sim::AgentInfo a;

    SimReply get(const QString& path) { return simCall("GET", a.url + path, a.token.toUtf8()); }
    SimReply send(const QByteArray& method, const QString& path, const QJsonObject& body = {}) {
        return simCall(method, a.url + path, a.token.toUtf8(), jsonBody(body));
    }
    SimReply chunk(const QString& id, qint64 index, const QByteArray& bytes) {
        return simCall("POST",
                       a.url + QStringLiteral("/files/upload/chunk?uploadId=%1&index=%2").arg(id).arg(index),
                       a.token.toUtf8(), bytes, {{"Content-Type", "application/octet-stream"}});
    }
    static QByteArray randomBytes(int n) {
        QByteArray bytes(n, Qt::Uninitialized);
        for (auto& b : bytes)
            b = char(QRandomGenerator::global()->bounded(256));
        return bytes;
    }
    QJsonObject startUpload(const QString& name, qint64 size, qint64 chunkSize, bool overwrite = false) {
        return send("POST", "/files/upload/start",
                    {{QStringLiteral("mediaKind"), QStringLiteral("video")},
                     {QStringLiteral("fileName"), name},
                     {QStringLiteral("size"), QString::number(size)},
                     {QStringLiteral("chunkSize"), QString::number(chunkSize)},
                     {QStringLiteral("overwrite"), overwrite}})
            .json();
    }

private Q_SLOTS:
    void init() {
        s = std::make_unique<sim::Simulator>();
        QVERIFY(s->start());
        s->setRestartDurationMs(800);
        a = s->startAgent();
        QVERIFY(a.port > 0);
    }
    void cleanup() { s.reset(); }

    void wrongTokenIsRefused_data() {
        QTest::addColumn<QByteArray>("token");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("wrong") << QByteArray("not-the-token");
    }
    void wrongTokenIsRefused() {
        QFETCH(QByteArray, token);
        const SimReply reply = simCall("GET", a.url + "/status", token);
        QCOMPARE(reply.status, 401);
        QVERIFY(!reply.json().value(QStringLiteral("error")).toString().isEmpty());
        QCOMPARE(get("/status").status, 200);
    }

    void statusFiguresChangeUnlessPinned() {
        const QJsonObject first = get("/status").json();
        QCOMPARE(first.value(QStringLiteral("agentVersion")).toString(), QStringLiteral("0.5.30"));
        QVERIFY(first.value(QStringLiteral("memory")).toObject().value(QStringLiteral("total")).toDouble() >
                0);
        QTRY_VERIFY(get("/status").json().value(QStringLiteral("network")) !=
                    first.value(QStringLiteral("network")));
        sim::Usage usage;
        usage.memoryUsedPercent = 95;
        s->pinUsage(a.name, usage);
        const QJsonObject memory = get("/status").json().value(QStringLiteral("memory")).toObject();
        QCOMPARE(memory.value(QStringLiteral("usedPercent")).toDouble(), 95.0);
    }

    void engineActionsChangeStatus() {
        QCOMPARE(send("POST", "/gost/uninstall").json().value(QStringLiteral("installed")).toBool(), false);
        QCOMPARE(get("/status")
                     .json()
                     .value(QStringLiteral("gost"))
                     .toObject()
                     .value(QStringLiteral("installed"))
                     .toBool(),
                 false);
        QCOMPARE(send("POST", "/proxy/start",
                      {{QStringLiteral("port"), 1080},
                       {QStringLiteral("username"), QStringLiteral("u")},
                       {QStringLiteral("password"), QStringLiteral("p")}})
                     .status,
                 409);
        QCOMPARE(send("POST", "/gost/install").json().value(QStringLiteral("installed")).toBool(), true);
        QCOMPARE(send("POST", "/rtmp/stop").json().value(QStringLiteral("running")).toBool(), false);
        const QJsonObject updated = send("POST", "/rtmp/mediamtx/update").json();
        QCOMPARE(updated.value(QStringLiteral("running")).toBool(), true);
        QVERIFY(updated.value(QStringLiteral("version")).toString() != QStringLiteral("v1.9.3"));
    }

    void agentUpdateRestartsWithTheReleaseVersion() {
        s->setAgentRelease(QStringLiteral("0.6.1"), QJsonObject());
        const SimReply reply = send("POST", "/agent/update");
        QCOMPARE(reply.status, 200);
        // While it restarts the Agent refuses connections, then answers with the new version.
        QTRY_COMPARE_WITH_TIMEOUT(get("/status").status, 0, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(get("/status").json().value(QStringLiteral("agentVersion")).toString(),
                                  QStringLiteral("0.6.1"), 5000);
    }

    void updateWhoseReplyBreaksStillRestarts() {
        sim::Fault drop;
        drop.dropMidReply = true;
        s->setFault(a.name, QStringLiteral("POST"), QStringLiteral("/agent/update"), drop);
        const SimReply reply = send("POST", "/agent/update");
        QVERIFY(reply.error != QNetworkReply::NoError);
        QTRY_COMPARE_WITH_TIMEOUT(get("/status").json().value(QStringLiteral("agentVersion")).toString(),
                                  s->agentReleaseVersion(), 5000);
        QCOMPARE(s->agentVersion(a.name), s->agentReleaseVersion());
    }

    void stoppedAgentRefusesUntilResumed() {
        s->stopAgent(a.name);
        const SimReply offline = get("/status");
        QCOMPARE(offline.status, 0);
        QCOMPARE(offline.error, QNetworkReply::ConnectionRefusedError);
        QVERIFY(s->resumeAgent(a.name));
        QCOMPARE(get("/status").status, 200);
    }

    void tooOldAgentUpdatesThroughExec() {
        s->setAgentTooOld(a.name, true);
        const SimReply refused = send("POST", "/agent/update");
        QCOMPARE(refused.status, 404);
        QVERIFY(
            refused.json().value(QStringLiteral("error")).toString().contains(QStringLiteral("not found")));
        const SimReply exec = send("POST", "/exec",
                                   {{QStringLiteral("script"),
                                     QStringLiteral("curl -fsSL https://get.example/agent/install.sh | sh")},
                                    {QStringLiteral("shell"), QStringLiteral("sh")},
                                    {QStringLiteral("timeoutSeconds"), 300}});
        QCOMPARE(exec.status, 200);
        QCOMPARE(exec.json().value(QStringLiteral("exitCode")).toInt(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(get("/status").json().value(QStringLiteral("agentVersion")).toString(),
                                  s->agentReleaseVersion(), 5000);
        s->setExecReply(a.name, 200, {{QStringLiteral("ok"), false}, {QStringLiteral("exitCode"), 2}});
        QCOMPARE(send("POST", "/exec", {{QStringLiteral("script"), QStringLiteral("true")}})
                     .json()
                     .value(QStringLiteral("exitCode"))
                     .toInt(),
                 2);
    }

    void uploadAssemblesChunksInAnyOrder() {
        const QByteArray content = randomBytes(200 * 1024 + 123);
        const qint64 chunkSize = 64 * 1024;
        const QJsonObject start = startUpload(QStringLiteral("clip.mp4"), content.size(), chunkSize);
        const QString id = start.value(QStringLiteral("uploadId")).toString();
        QVERIFY(!id.isEmpty());
        QCOMPARE(start.value(QStringLiteral("totalChunks")).toInt(), 4);
        QCOMPARE(start.value(QStringLiteral("chunkSize")).toDouble(), double(chunkSize));
        for (const int index : {3, 1, 0, 2})
            QCOMPARE(chunk(id, index, content.mid(index * chunkSize, chunkSize)).status, 200);
        const SimReply finish = send("POST", "/files/upload/finish", {{QStringLiteral("uploadId"), id}});
        QCOMPARE(finish.status, 200);
        QCOMPARE(finish.json().value(QStringLiteral("fileName")).toString(), QStringLiteral("clip.mp4"));
        QFile file(s->videoDirectory(a.name) + QStringLiteral("/clip.mp4"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
        const QJsonArray files = get("/files/videos").json().value(QStringLiteral("files")).toArray();
        QCOMPARE(files.size(), 1);
        QCOMPARE(files[0].toObject().value(QStringLiteral("size")).toDouble(), double(content.size()));
        QCOMPARE(startUpload(QStringLiteral("clip.mp4"), 10, chunkSize)
                     .value(QStringLiteral("error"))
                     .toString()
                     .isEmpty(),
                 false);
        QVERIFY(!startUpload(QStringLiteral("clip.mp4"), 10, chunkSize, true)
                     .value(QStringLiteral("uploadId"))
                     .toString()
                     .isEmpty());
    }

    void uploadResumesAndChecksChunks() {
        const QByteArray content = randomBytes(3 * 65536);
        const QString id = startUpload(QStringLiteral("resume.mkv"), content.size(), 65536)
                               .value(QStringLiteral("uploadId"))
                               .toString();
        QCOMPARE(chunk(id, 1, content.mid(65536, 65536)).status, 200);
        QCOMPARE(chunk(id, 0, content.left(100)).status, 400);   // wrong length
        QCOMPARE(chunk(id, 3, content.left(65536)).status, 400); // index out of range
        QCOMPARE(chunk(QStringLiteral("nope"), 0, content.left(65536)).status, 404);
        const SimReply early = send("POST", "/files/upload/finish", {{QStringLiteral("uploadId"), id}});
        QCOMPARE(early.status, 409);

        // Announcing the same file again resumes the session with what already arrived.
        const QJsonObject again = startUpload(QStringLiteral("resume.mkv"), content.size(), 65536);
        QCOMPARE(again.value(QStringLiteral("uploadId")).toString(), id);
        QCOMPARE(again.value(QStringLiteral("received")).toArray(), QJsonArray{1});
        QCOMPARE(again.value(QStringLiteral("uploadedBytes")).toDouble(), 65536.0);
        QCOMPARE(
            get("/files/upload/status?uploadId=" + id).json().value(QStringLiteral("received")).toArray(),
            QJsonArray{1});
        QCOMPARE(chunk(id, 0, content.left(65536)).status, 200);
        QCOMPARE(chunk(id, 2, content.mid(131072)).status, 200);
        QCOMPARE(send("POST", "/files/upload/finish", {{QStringLiteral("uploadId"), id}}).status, 200);
        QFile file(s->videoDirectory(a.name) + QStringLiteral("/resume.mkv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
        QCOMPARE(get("/files/upload/status?uploadId=" + id).status, 404);
    }

    void uploadValidatesStart_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("status");
        QTest::newRow("video") << "video"
                               << "ok.mp4"
                               << "" << 200;
        QTest::newRow("audio into folder") << "audio"
                                           << "a.mp3"
                                           << "bgm" << 200;
        QTest::newRow("audio without folder") << "audio"
                                              << "a.mp3"
                                              << "" << 400;
        QTest::newRow("wrong extension") << "video"
                                         << "a.mp3"
                                         << "" << 400;
        QTest::newRow("path in name") << "video"
                                      << "../x.mp4"
                                      << "" << 400;
        QTest::newRow("folder escapes") << "audio"
                                        << "a.mp3"
                                        << ".." << 400;
    }
    void uploadValidatesStart() {
        QFETCH(QString, kind);
        QFETCH(QString, fileName);
        QFETCH(QString, folder);
        QFETCH(int, status);
        const SimReply reply = send("POST", "/files/upload/start",
                                    {{QStringLiteral("mediaKind"), kind},
                                     {QStringLiteral("fileName"), fileName},
                                     {QStringLiteral("size"), QStringLiteral("1000")},
                                     {QStringLiteral("chunkSize"), QStringLiteral("4194304")},
                                     {QStringLiteral("overwrite"), false},
                                     {QStringLiteral("audioFolder"), folder}});
        QCOMPARE(reply.status, status);
    }

    void filesInUseAreRefusedWithRoomNames_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("value");
        QTest::newRow("delete video") << QByteArray("DELETE") << "/files/videos?file=used.mp4"
                                      << "file"
                                      << "used.mp4";
        QTest::newRow("clear folder") << QByteArray("POST") << "/files/audio-folders/clear"
                                      << "folder"
                                      << "bgm";
        QTest::newRow("delete folder") << QByteArray("DELETE") << "/files/audio-folders?folder=bgm"
                                       << "folder"
                                       << "bgm";
    }
    void filesInUseAreRefusedWithRoomNames() {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QString, member);
        QFETCH(QString, value);
        s->addVideo(a.name, QStringLiteral("sub/used.mp4"), 100);
        s->addAudioFile(a.name, QStringLiteral("bgm"), QStringLiteral("1.mp3"), 100);
        const QString id =
            s->addLiveRoom(a.name,
                           {{QStringLiteral("name"), QStringLiteral("房间A")},
                            {QStringLiteral("streamMode"), QStringLiteral("video_random_audio_to_rtmp")},
                            {QStringLiteral("videoPath"), QStringLiteral("sub/used.mp4")},
                            {QStringLiteral("audioFolder"), QStringLiteral("bgm")}})
                .value(QStringLiteral("id"))
                .toString();
        SimReply reply = send(method, path, {{member, value}});
        QCOMPARE(reply.status, 409);
        QCOMPARE(reply.json().value(QStringLiteral("rooms")).toArray(), QJsonArray{QStringLiteral("房间A")});
        QCOMPARE(send("DELETE", "/live/rooms/" + id).status, 200);
        QCOMPARE(send(method, path, {{member, value}}).status, 200);
    }

    void livePushProgressAndRetry() {
        s->addVideo(a.name, QStringLiteral("v.mp4"), 1000);
        const QJsonObject ingest = s->addRtmpRoom(a.name, QStringLiteral("ingest"));
        QCOMPARE(ingest.value(QStringLiteral("online")).toBool(), false);
        const QString id = send("POST", "/live/rooms", {{QStringLiteral("name"), QStringLiteral("L")}})
                               .json()
                               .value(QStringLiteral("room"))
                               .toObject()
                               .value(QStringLiteral("id"))
                               .toString();
        const QJsonObject start{
            {QStringLiteral("roomId"), id},
            {QStringLiteral("inputPath"), QStringLiteral("v.mp4")},
            {QStringLiteral("pushUrl"), ingest.value(QStringLiteral("rtmpPublishFullUrl")).toString()},
            {QStringLiteral("mode"), QStringLiteral("file_to_rtmp")}};
        QCOMPARE(send("PUT", "/live/rooms/" + id,
                      {{QStringLiteral("pushUrl"), start.value(QStringLiteral("pushUrl"))}})
                     .status,
                 200);
        QJsonObject missing = start;
        missing.insert(QStringLiteral("inputPath"), QStringLiteral("gone.mp4"));
        QCOMPARE(send("POST", "/live/start", missing).status, 400);
        QCOMPARE(send("POST", "/live/start", start).status, 200);
        QCOMPARE(get("/rtmp/status")
                     .json()
                     .value(QStringLiteral("rooms"))
                     .toArray()[0]
                     .toObject()
                     .value(QStringLiteral("online"))
                     .toBool(),
                 true);
        const QString first = get("/live/status?roomId=" + id)
                                  .json()
                                  .value(QStringLiteral("progress"))
                                  .toObject()
                                  .value(QStringLiteral("out_time"))
                                  .toString();
        QTRY_VERIFY(get("/live/status?roomId=" + id)
                        .json()
                        .value(QStringLiteral("progress"))
                        .toObject()
                        .value(QStringLiteral("out_time"))
                        .toString() != first);
        s->simulatePushRetry(a.name, id, 1);
        const QJsonObject retrying = get("/live/status?roomId=" + id).json();
        QCOMPARE(retrying.value(QStringLiteral("retrying")).toBool(), true);
        QCOMPARE(retrying.value(QStringLiteral("retryDelaySeconds")).toInt(), 1);
        QVERIFY(retrying.value(QStringLiteral("retryNextAt")).toDouble() > 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            get("/live/status?roomId=" + id).json().value(QStringLiteral("running")).toBool(), 4000);
        QCOMPARE(send("POST", "/live/stop", {{QStringLiteral("roomId"), id}}).status, 200);
        QCOMPARE(get("/live/status?roomId=" + id).json().value(QStringLiteral("running")).toBool(), false);
        QVERIFY(!get("/live/logs?roomId=" + id).json().value(QStringLiteral("logs")).toArray().isEmpty());
        QVERIFY(!get("/live/logs?roomId=" + id + "&type=ffmpeg")
                     .json()
                     .value(QStringLiteral("logs"))
                     .toArray()
                     .isEmpty());
    }

    void bridgeTestReportsLaterAndStatusHangFault() {
        s->setBridgeTestDurationMs(300);
        const QJsonObject bridge = send("POST", "/proxy/bridges",
                                        {{QStringLiteral("name"), QStringLiteral("b")},
                                         {QStringLiteral("port"), 20001},
                                         {QStringLiteral("username"), QStringLiteral("u")},
                                         {QStringLiteral("password"), QStringLiteral("p")}})
                                       .json();
        const QString id = bridge.value(QStringLiteral("id")).toString();
        QCOMPARE(send("POST", "/proxy/bridges/" + id + "/test").status, 409); // no upstream yet
        // The upstream is this Agent's own port on loopback, so the connect test succeeds.
        QCOMPARE(send("PUT", "/proxy/bridges/" + id,
                      {{QStringLiteral("upstreamHost"), QStringLiteral("127.0.0.1")},
                       {QStringLiteral("upstreamPort"), a.port}})
                     .status,
                 200);
        QCOMPARE(
            send("POST", "/proxy/bridges/" + id + "/test").json().value(QStringLiteral("testing")).toBool(),
            true);
        QTRY_VERIFY(get("/proxy/bridges")
                        .json()
                        .value(QStringLiteral("bridges"))
                        .toArray()[0]
                        .toObject()
                        .value(QStringLiteral("lastTest"))
                        .toObject()
                        .value(QStringLiteral("testedAt"))
                        .toDouble() > 0);
        const QJsonObject test = get("/proxy/bridges")
                                     .json()
                                     .value(QStringLiteral("bridges"))
                                     .toArray()[0]
                                     .toObject()
                                     .value(QStringLiteral("lastTest"))
                                     .toObject();
        QVERIFY(test.value(QStringLiteral("tcpConnectMs")).toDouble() >= 1);
        QCOMPARE(test.value(QStringLiteral("latencySuccess")).toInt(), 5);

        sim::Fault hang;
        hang.hang = true;
        s->setFault(a.name, QStringLiteral("GET"), QStringLiteral("/status"), hang);
        QCOMPARE(simCall("GET", a.url + "/status", a.token.toUtf8(), {}, {}, 500).status, 0);
        QCOMPARE(get("/proxy/bridges").status, 200);
    }
};

ONDIVO_TEST_MAIN_CORE(TestSimAgent)
#include "tst_simagent.moc"
