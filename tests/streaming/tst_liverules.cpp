#include "TestMain.h"

#include "streaming/LiveEditorRules.h"
#include "streaming/LivePushStatus.h"
#include "streaming/LiveRoom.h"
#include "streaming/RtmpRoom.h"

#include <QJsonDocument>

using namespace streaming;

namespace {

LiveRoom room(const QString& node, const QString& id, const char* status = "draft") {
    LiveRoom r;
    r.cloudNodeId = node;
    r.id = id;
    r.name = id;
    r.status = QString::fromUtf8(status);
    return r;
}

QStringList keys(const QList<LiveRoom>& rooms) {
    QStringList out;
    for (const LiveRoom& r : rooms)
        out << r.key();
    return out;
}

// JSON text written with single quotes, so the rows stay readable.
QByteArray json(const char* text) {
    return QByteArray(text).replace('\'', '"');
}

} // namespace

class LiveRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pollTransitions_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("httpStatus");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("lastError");
        QTest::addColumn<QString>("line");

        const QString progress = QStringLiteral("帧率：30 | 码率：2500kbits/s | 速度：1x | 时间：00:05");
        const QByteArray running = json("{'running':true,'progress':{'fps':'30','bitrate':'2500kbits/"
                                        "s','speed':'1x','out_time':'00:00:05.1'}}");
        QTest::newRow("streaming, no answer") << "streaming" << 0 << QByteArray() << "error"
                                              << "请求失败"
                                              << "异常：未读取到正常推流日志";
        QTest::newRow("streaming, HTTP error gives the Agent's reason")
            << "streaming" << 500 << json("{'error':' ffmpeg exited '}") << "error"
            << "ffmpeg exited"
            << "异常：未读取到正常推流日志";
        QTest::newRow("stopped, HTTP error left alone") << "stopped" << 502 << QByteArray() << "stopped"
                                                        << "earlier"
                                                        << "old";
        QTest::newRow("retrying flag, delay 0")
            << "configured" << 200 << json("{'retrying':true,'retryDelaySeconds':0}") << "retrying"
            << ""
            << "正在准备自动重启";
        QTest::newRow("retryNextAt only")
            << "streaming" << 200
            << json("{'retrying':false,'retryNextAt':1765000000000,'retryDelaySeconds':5,'error':' lost '}")
            << "retrying"
            << "lost"
            << "重试中：5 秒后自动重启";
        QTest::newRow("running again clears the error") << "error" << 200 << running << "streaming"
                                                        << "" << progress;
        QTest::newRow("running with error")
            << "configured" << 200 << json("{'running':true,'error':'bad input'}") << "error"
            << "bad input"
            << "异常：未读取到正常推流日志";
        QTest::newRow("retrying ends cleanly") << "retrying" << 200 << json("{'running':false}") << "stopped"
                                               << ""
                                               << "帧率：-- | 码率：-- | 速度：-- | 时间：--";
        QTest::newRow("streaming ends with error")
            << "streaming" << 200 << json("{'running':false,'error':'exit 1'}") << "error"
            << "exit 1"
            << "帧率：-- | 码率：-- | 速度：-- | 时间：--";
        QTest::newRow("stopped stays stopped") << "stopped" << 200 << json("{'running':false}") << "stopped"
                                               << "earlier"
                                               << "old";
    }
    void pollTransitions() {
        QFETCH(QString, before);
        QFETCH(int, httpStatus);
        QFETCH(QByteArray, body);
        LiveRoom r = room("n", "a");
        r.status = before;
        r.lastError = QStringLiteral("earlier");
        r.liveLine = QStringLiteral("old");
        applyLiveStatus(r, parseLiveStatus(httpStatus, httpStatus == 0, QString(), body));
        QTEST(r.status, "after");
        QTEST(r.lastError, "lastError");
        QTEST(r.liveLine, "line");
    }

    void progressFigures_data() {
        QTest::addColumn<QByteArray>("progress");
        QTest::addColumn<QString>("line");
        QTest::newRow("N/A fps and bitrate") << json("{'fps':'N/A','bitrate':'N/A','speed':'N/A'}")
                                             << "帧率：-- | 码率：-- | 速度：N/A | 时间：--";
        QTest::newRow("seconds only") << json("{'fps':25,'out_time':'00:00:07.120000'}")
                                      << "帧率：25 | 码率：-- | 速度：-- | 时间：00:07";
        QTest::newRow("minutes") << json("{'out_time':'00:01:02.500000'}")
                                 << "帧率：-- | 码率：-- | 速度：-- | 时间：01:02";
        QTest::newRow("hours kept") << json("{'out_time':'01:00:00.5'}")
                                    << "帧率：-- | 码率：-- | 速度：-- | 时间：01:00:00";
        QTest::newRow("out_time_ms fallback") << json("{'out_time':'','out_time_ms':'7120000'}")
                                              << "帧率：-- | 码率：-- | 速度：-- | 时间：7120000";
    }
    void progressFigures() {
        QFETCH(QByteArray, progress);
        QTEST(progressLine(QJsonDocument::fromJson(progress).object()), "line");
    }

    void pushVerdicts_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("started");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<int>("ffmpeg");
        QTest::newRow("unreachable") << 0 << json("{'error':'Connection refused'}") << false << false
                                     << int(FfmpegState::Unreachable);
        QTest::newRow("ok") << 200 << json("{'installed':true}") << true << true
                            << int(FfmpegState::Installed);
        QTest::newRow("error member")
            << 200 << json("{'error':'busy'}") << false << true << int(FfmpegState::Missing);
        QTest::newRow("server error")
            << 500 << json("{'installed':true}") << false << false << int(FfmpegState::Missing);
    }
    void pushVerdicts() {
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        const QJsonObject object = QJsonDocument::fromJson(reply).object();
        QTEST(startAccepted(status, object), "started");
        QTEST(stopAccepted(status), "stopped");
        QTEST(int(ffmpegState(status, object)), "ffmpeg");
    }

    void mergeKeepsOtherNodesInPlace() {
        QList<LiveRoom> current{room("n1", "a"), room("n2", "b"), room("n1", "c"), room("n3", "d")};
        current[0].liveLine = QStringLiteral("kept line");
        LiveRoom freshA = room("n1", "a", "configured");
        const QList<LiveRoom> merged =
            mergeLiveRooms(current, {room("n1", "e"), freshA}, QSet<QString>{QStringLiteral("n1")});
        QCOMPARE(keys(merged), QStringList({"n1|a", "n2|b", "n3|d", "n1|e"}));
        QCOMPARE(merged[0].status, QStringLiteral("configured"));
        QCOMPARE(merged[0].liveLine, QStringLiteral("kept line"));

        QList<LiveRoom> list = merged;
        QCOMPARE(upsertLiveRoom(list, room("n3", "d", "stopped")), 2);
        QVERIFY(removeLiveRoom(list, QStringLiteral("n2|b")));
        QVERIFY(!removeLiveRoom(list, QStringLiteral("n2|b")));
        QCOMPARE(keys(list), QStringList({"n1|a", "n3|d", "n1|e"}));
        QCOMPARE(list[1].status, QStringLiteral("stopped"));
    }

    void roomRecordAndUpdateBody() {
        const QJsonObject object =
            QJsonDocument::fromJson(json("{'id':'a/b "
                                         "?#é','name':'R','cloudNodeId':'other','streamMode':'','createdAt':"
                                         "1700000000,'startedAt':'1700000100','loopEnabled':'yes'}"))
                .object();
        LiveRoom r = liveRoomFromJson(object, QStringLiteral("node-1"));
        QCOMPARE(r.key(), QStringLiteral("node-1|a/b ?#é"));
        QVERIFY(r.muteVideoAudio);
        QVERIFY(r.loopEnabled);
        QCOMPARE(r.streamMode, QStringLiteral("file_to_rtmp"));
        QCOMPARE(r.startedAt, 1700000100);
        QCOMPARE(roomPath(QStringLiteral("/live/rooms/"), r.id),
                 QStringLiteral("/live/rooms/a%2Fb%20%3F%23%C3%A9"));

        const QJsonObject body =
            roomUpdateBody(r, {{"status", "stopped"}, {"stoppedAt", 1700000200}, {"x", 1}});
        QCOMPARE(body.size(), 14);
        QCOMPARE(body.value("status").toString(), QStringLiteral("stopped"));
        QCOMPARE(body.value("stoppedAt").toInteger(), 1700000200);
        QCOMPARE(body.value("startedAt").toInteger(), 1700000100);
    }

    void editorValues_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("itemText");
        QTest::addColumn<QString>("itemData");
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("other");
        QTest::newRow("typed backslash path") << " folder\\clip.mp4 "
                                              << "a.mp4  1.00 KB"
                                              << "a.mp4"
                                              << ""
                                              << "clip.mp4"
                                              << "folder\\clip.mp4";
        QTest::newRow("original kept") << "x.mp4"
                                       << ""
                                       << ""
                                       << "sub/x.mp4"
                                       << "sub/x.mp4"
                                       << "x.mp4";
        QTest::newRow("other name typed") << "y.mp4"
                                          << ""
                                          << ""
                                          << "sub/x.mp4"
                                          << "y.mp4"
                                          << "y.mp4";
        QTest::newRow("chosen item") << "x.mp4  2.00 MB"
                                     << "x.mp4  2.00 MB"
                                     << "deep/x.mp4"
                                     << "sub/x.mp4"
                                     << "deep/x.mp4"
                                     << "deep/x.mp4";
        QTest::newRow("pull source label") << "节点A / 主播 / SRT"
                                           << "节点A / 主播 / SRT"
                                           << "srt://h:8890?streamid=read:live/a"
                                           << ""
                                           << "srt://h:8890?streamid=read:live/a"
                                           << "srt://h:8890?streamid=read:live/a";
        QTest::newRow("label edited by hand") << "rtmp://typed/live/x"
                                              << "节点A / 主播 / RTMP"
                                              << "rtmp://h/live/a"
                                              << ""
                                              << "x"
                                              << "rtmp://typed/live/x";
    }
    void editorValues() {
        QFETCH(QString, text);
        QFETCH(QString, itemText);
        QFETCH(QString, itemData);
        QFETCH(QString, original);
        const ComboChoice combo{text, itemText, itemData};
        QTEST(chosenVideoPath(combo, original), "video");
        QTEST(chosenValue(combo), "other");
    }

    void editorRefusals_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("pull");
        QTest::addColumn<QString>("audio");
        QTest::addColumn<QString>("push");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("name first") << kPullMode << ""
                                    << ""
                                    << ""
                                    << ""
                                    << ""
                                    << "请输入房间名。";
        QTest::newRow("pull missing") << kPullMode << "R"
                                      << "v.mp4"
                                      << ""
                                      << ""
                                      << ""
                                      << "请填写拉流地址。";
        QTest::newRow("video missing") << kRandomAudioMode << "R"
                                       << ""
                                       << ""
                                       << ""
                                       << ""
                                       << "请选择视频文件。";
        QTest::newRow("pull equals push ignoring case") << kPullMode << "R"
                                                        << ""
                                                        << "rtmp://H/live/A"
                                                        << ""
                                                        << "RTMP://h/live/a"
                                                        << "拉流地址和目标推流地址不能相同。";
        QTest::newRow("pull without push") << kPullMode << "R"
                                           << ""
                                           << "rtmp://h/a"
                                           << ""
                                           << ""
                                           << "";
        QTest::newRow("audio missing") << kRandomAudioMode << "R"
                                       << "v.mp4"
                                       << ""
                                       << ""
                                       << ""
                                       << "请选择音频目录。";
        QTest::newRow("file mode ignores audio") << kFileMode << "R"
                                                 << "v.mp4"
                                                 << ""
                                                 << ""
                                                 << ""
                                                 << "";
    }
    void editorRefusals() {
        QFETCH(QString, mode);
        EditorValues v;
        v.streamMode = mode;
        QFETCH(QString, name);
        v.name = name;
        QFETCH(QString, video);
        v.videoPath = video;
        QFETCH(QString, pull);
        v.pullUrl = pull;
        QFETCH(QString, audio);
        v.audioFolder = audio;
        QFETCH(QString, push);
        v.pushUrl = push;
        QTEST(editorRefusal(v), "refusal");
        LiveRoom started;
        started.streamMode = mode;
        started.pushUrl = push;
        started.sourceUrl = pull;
        started.videoPath = video;
        started.audioFolder = audio;
        // The start check refuses what the editor refuses, except an empty push address.
        QCOMPARE(startRefusal(started, true).isEmpty(), editorRefusal(v).isEmpty() && !push.isEmpty());
    }

    // A question before cutting a room off says it is on air exactly while its push runs or retries;
    // an ingest room only while a publisher is on it and its service runs.
    void onAirQuestions_data() {
        QTest::addColumn<QString>("liveStatus");
        QTest::addColumn<bool>("ingestRunning");
        QTest::addColumn<bool>("publisherOnline");
        QTest::addColumn<bool>("onAir");
        QTest::newRow("streaming") << "streaming" << true << true << true;
        QTest::newRow("retrying") << "retrying" << true << true << true;
        QTest::newRow("idle ingest room") << "configured" << true << false << false;
        QTest::newRow("stale publisher of a stopped service") << "stopped" << false << true << false;
        QTest::newRow("failed push") << "error" << false << false << false;
        QTest::newRow("draft") << "draft" << false << false << false;
    }
    void onAirQuestions() {
        QFETCH(QString, liveStatus);
        QFETCH(bool, ingestRunning);
        QFETCH(bool, publisherOnline);
        QFETCH(bool, onAir);
        const LiveRoom live = room("n", "<b>R</b>", liveStatus.toUtf8().constData());
        RtmpRoom ingest;
        ingest.name = live.name;
        ingest.running = ingestRunning;
        ingest.enabled = true;
        ingest.online = publisherOnline;
        const QString note = QString::fromUtf8(kRoomOnAirNote);
        for (const QString& question : {stopPushQuestion(live), deleteRoomQuestion(live)}) {
            QCOMPARE(question.contains(note), onAir);
            QVERIFY(question.contains(live.name));
        }
        QCOMPARE(rtmpDeleteQuestion(ingest).contains(note), ingestRunning && publisherOnline);
    }

    void eventLinesNameModes_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("readable");
        QTest::newRow("pull") << "开始推流 (pull_stream_to_rtmp) -> rtmp://h/x"
                              << QString("开始推流 (" + modeLabel(kPullMode) + ") -> rtmp://h/x");
        QTest::newRow("two modes") << "file_to_rtmp→video_random_audio_to_rtmp"
                                   << QString(modeLabel(kFileMode) + "→" + modeLabel(kRandomAudioMode));
        QTest::newRow("inside a longer word stays") << "my_pull_stream_to_rtmp_x"
                                                    << "my_pull_stream_to_rtmp_x";
        QTest::newRow("no mode") << "停止推流"
                                 << "停止推流";
    }
    void eventLinesNameModes() {
        QFETCH(QString, line);
        QTEST(readableEventLine(line), "readable");
    }

    void pullModeBody() {
        const EditorValues v{"R", kPullMode, "v.mp4", "rtmp://a", "music", "rtmp://b", false, false};
        const QJsonObject body = editorBody(v);
        QCOMPARE(body.size(), 8);
        QCOMPARE(body.value("videoPath").toString(), QString());
        QCOMPARE(body.value("audioFolder").toString(), QString());
        QCOMPARE(body.value("muteVideoAudio").toBool(), true);
        QCOMPARE(body.value("sourceUrl").toString(), QStringLiteral("rtmp://a"));
    }
};

ONDIVO_TEST_MAIN_CORE(LiveRulesTest)
#include "tst_liverules.moc"
