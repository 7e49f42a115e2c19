#include "RecordingServer.h"
#include "TestMain.h"

#include "model/Node.h"
#include "net/RequestLayer.h"
#include "streaming/PreviewLink.h"
#include "streaming/RtmpRoom.h"

#include <QJsonArray>

using namespace streaming;

namespace {

// The current data row's value, usable inside an expression.
template <typename T> T fetched(const char* name) {
    return *static_cast<T*>(QTest::qData(name, qMetaTypeId<T>()));
}

// "2|c:name" -> a room of Node 2 with id c; "2|" -> Node 2's service row.
RtmpRoom row(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('|'));
    const QStringList idName = parts.value(1).split(QLatin1Char(':'));
    RtmpRoom room;
    room.nodeIndex = parts.value(0).toInt();
    room.id = idName.value(0);
    room.name = idName.value(1);
    return room;
}

QList<RtmpRoom> rows(const QString& texts) {
    QList<RtmpRoom> list;
    for (const QString& text : texts.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        list.append(row(text));
    return list;
}

QString describe(const QList<RtmpRoom>& list) {
    QStringList out;
    for (const RtmpRoom& room : list)
        out << QStringLiteral("%1|%2:%3").arg(room.nodeIndex).arg(room.id, room.name);
    return out.join(QLatin1Char(' '));
}

QJsonObject room(const QString& name, const QString& play, const QString& full, const QString& publish,
                 const QString& srt) {
    QJsonObject object{{"id", QString(name + "-id")}, {"name", name}, {"roomKey", QString(name + "-key")}};
    if (!play.isNull())
        object.insert("playUrl", play);
    if (!full.isNull())
        object.insert("rtmpPublishFullUrl", full);
    object.insert("publishUrl", publish);
    object.insert("srtPublishFullUrl", srt);
    return object;
}

} // namespace

class TestRtmpRooms : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mergeKeepsOtherNodesInPlace_data() {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("fresh");
        QTest::addColumn<QList<int>>("reloaded");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("selected");

        QTest::newRow("filtered reload of node 2")
            << "0|a: 1|b: 2|c: 0|d: 2|e:"
            << "2|e:E 2|f:F 2|c:C" << QList<int>{2} << 3 << "0|a: 1|b: 2|c:C 0|d: 2|e:E 2|f:F" << 3;
        QTest::addRow("vanished room dropped, selection follows key")
            << "0|a: 1|b: 1|c:"
            << "1|c:C" << QList<int>{1} << 2 << "0|a: 1|c:C" << 1;
        QTest::addRow("current row vanished: same number, clamped")
            << "0|a: 0|b: 0|c:"
            << "0|a:A" << QList<int>{0} << 2 << "0|a:A" << 0;
        QTest::addRow("nothing current stays unselected") << "0|a:"
                                                          << "0|a:A" << QList<int>{0} << -1 << "0|a:A" << -1;
        QTest::addRow("later duplicate key wins, listed once")
            << ""
            << "0|a:first 0|b: 0|a:second" << QList<int>{0} << -1 << "0|b: 0|a:second" << -1;
        QTest::addRow("failed node turns into its service row")
            << "0|a: 1|b: 1|c: 0|d:"
            << "1|" << QList<int>{1} << 1 << "0|a: 0|d: 1|:" << 1;
        QTest::addRow("an earlier Node answering later goes first")
            << "1|b: 2|c:"
            << "0|a: 0|z:" << QList<int>{0} << 1 << "0|a: 0|z: 1|b: 2|c:" << 3;
        QTest::addRow("new room of a middle Node after that Node's rows")
            << "0|a: 1|b: 2|c: 1|d:"
            << "1|b: 1|d: 1|e:" << QList<int>{1} << -1 << "0|a: 1|b: 2|c: 1|d: 1|e:" << -1;
        QTest::addRow("service row replaced by rooms again")
            << "1|: 0|a:"
            << "1|b:" << QList<int>{1} << 0 << "0|a: 1|b:" << 0;
    }
    void mergeKeepsOtherNodesInPlace() {
        QFETCH(QString, old);
        QFETCH(QString, fresh);
        QFETCH(QList<int>, reloaded);
        QFETCH(int, current);
        RtmpRoomList list;
        for (const RtmpRoom& r : rows(old))
            list.upsert(r);
        const int selected = list.merge(rows(fresh), QSet<int>(reloaded.begin(), reloaded.end()), current);
        QCOMPARE(describe(list.rows()), fetched<QString>("expected").trimmed());
        QCOMPARE(selected, fetched<int>("selected"));
    }

    void upsertAndRemoveSelection_data() {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("change"); // "+row" upserts, "-key" removes
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("selected");
        QTest::addRow("upsert replaces by key") << "0|a: 1|a: 1|b:"
                                                << "+1|a:new" << 0 << "0|a: 1|a:new 1|b:" << 1;
        QTest::addRow("upsert appends unknown key") << "0|a:"
                                                    << "+1|a:x" << 0 << "0|a: 1|a:x" << 1;
        QTest::addRow("remove middle selects the next") << "0|a: 0|b: 0|c:"
                                                        << "-0|b" << 1 << "0|a: 0|c:" << 1;
        QTest::addRow("remove last selects new last") << "0|a: 0|b:"
                                                      << "-0|b" << 1 << "0|a:" << 0;
        QTest::addRow("remove only row selects none") << "0|a:"
                                                      << "-0|a" << 0 << "" << -1;
    }
    void upsertAndRemoveSelection() {
        QFETCH(QString, change);
        RtmpRoomList list;
        for (const RtmpRoom& r : rows(fetched<QString>("old")))
            list.upsert(r);
        const int selected = change.startsWith(QLatin1Char('+'))
                                 ? list.upsert(row(change.mid(1)))
                                 : list.remove(change.mid(1), fetched<int>("current"));
        QCOMPARE(describe(list.rows()), fetched<QString>("expected"));
        QCOMPARE(selected, fetched<int>("selected"));
    }

    void statusReplyRows_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("transportError");
        QTest::addColumn<QString>("expected"); // ids, or "service:<error>"
        QTest::addRow("no answer is a failure, not an empty list")
            << 0 << QByteArray("{}") << "Connection refused"
            << "service:Connection refused";
        QTest::addRow("no answer with the layer's error") << 0 << QByteArray(R"({"error":"超时"})") << ""
                                                          << "service:超时";
        QTest::addRow("server error text") << 500 << QByteArray(R"({"error":"MediaMTX 崩溃"})") << ""
                                           << "service:MediaMTX 崩溃";
        QTest::addRow("error that is no text") << 404 << QByteArray(R"({"error":7})") << ""
                                               << "service:HTTP 404";
        QTest::addRow("success reads rooms despite error")
            << 200 << QByteArray(R"({"error":"MediaMTX 未安装","rooms":[{"id":"x"},{"id":"y"}]})") << ""
            << "x y";
        QTest::addRow("success without rooms") << 200 << QByteArray(R"({"running":true})") << ""
                                               << "";
    }
    void statusReplyRows() {
        const RtmpNodeTag node{4, QStringLiteral("n4"), QStringLiteral("东京")};
        const QList<RtmpRoom> result =
            rtmpRowsFromStatus(fetched<int>("status"), net::parseJsonObject(fetched<QByteArray>("body")),
                               fetched<QString>("transportError"), node);
        QStringList got;
        for (const RtmpRoom& r : result) {
            QCOMPARE(r.nodeIndex, 4);
            QCOMPARE(r.nodeId, node.id);
            got << (r.isServiceRow() ? QStringLiteral("service:") + r.error : r.id);
            if (r.isServiceRow()) {
                QCOMPARE(r.rowKey(), QStringLiteral("4|__service__"));
                QCOMPARE(rtmpStateText(r), QStringLiteral("服务停止"));
            }
        }
        QCOMPARE(got.join(QLatin1Char(' ')), fetched<QString>("expected"));
    }

    void srtReadAddress_data() {
        QTest::addColumn<QString>("publish");
        QTest::addColumn<QString>("read");
        QTest::newRow("colon form") << "srt://h:8890?streamid=publish:live/a"
                                    << "srt://h:8890?streamid=read:live/a";
        QTest::newRow("encoded form") << "srt://h:8890?streamid=publish%3Alive/a"
                                      << "srt://h:8890?streamid=read%3Alive/a";
        QTest::newRow("colon form found first, encoded left")
            << "srt://h?streamid=publish%3Ax&streamid=publish:y"
            << "srt://h?streamid=publish%3Ax&streamid=read:y";
        QTest::newRow("every occurrence") << "srt://h?streamid=publish:a#streamid=publish:b"
                                          << "srt://h?streamid=read:a#streamid=read:b";
        QTest::newRow("trimmed") << "  srt://h?streamid=publish:a \n"
                                 << "srt://h?streamid=read:a";
        QTest::newRow("no publish form") << "srt://h:8890?streamid=read:live/a"
                                         << "";
        QTest::newRow("lower-case escape is another form") << "srt://h?streamid=publish%3alive"
                                                           << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void srtReadAddress() { QCOMPARE(srtReadUrl(fetched<QString>("publish")), fetched<QString>("read")); }

    void pullSources_data() {
        QTest::addColumn<QJsonArray>("nodes"); // [{"label", "rooms": [...]}] in order
        QTest::addColumn<QStringList>("expected");
        const QString srtA = QStringLiteral("srt://a?streamid=publish:live/a");
        QTest::addRow("duplicate play url across nodes: first met")
            << QJsonArray{QJsonObject{{"label", "香港"},
                                      {"rooms", QJsonArray{room("a", "rtmp://x/live/a", "f", "p", "")}}},
                          QJsonObject{{"label", "东京"},
                                      {"rooms", QJsonArray{room("b", "rtmp://x/live/a", "f2", "p2", srtA)}}}}
            << QStringList{"香港 / a / RTMP=rtmp://x/live/a", "东京 / b / SRT=srt://a?streamid=read:live/a"};
        QTest::addRow("absent play url offers full publish url")
            << QJsonArray{QJsonObject{{"label", "n"},
                                      {"rooms", QJsonArray{room("a", {}, "rtmp://full", "rtmp://pub", "")}}}}
            << QStringList{"n / a / RTMP=rtmp://full"};
        QTest::addRow("empty play and full fall to publish url")
            << QJsonArray{QJsonObject{{"label", "n"},
                                      {"rooms", QJsonArray{room("a", "", "", "rtmp://pub", "")}}}}
            << QStringList{"n / a / RTMP=rtmp://pub"};
        QTest::addRow("no name: key; no node label: unknown node")
            << QJsonArray{QJsonObject{{"label", ""},
                                      {"rooms", QJsonArray{room("", "rtmp://p", "", "", srtA)}}}}
            << QStringList{"未知节点 / -key / RTMP=rtmp://p",
                           "未知节点 / -key / SRT=srt://a?streamid=read:live/a"};
        QTest::addRow("absent play and full members fall to publish url, srt without publish form")
            << QJsonArray{QJsonObject{{"label", "N3"},
                                      {"rooms", QJsonArray{room("c", {}, {}, "rtmp://h/live/c",
                                                                "srt://h:8890?streamid=live/c")}}}}
            << QStringList{"N3 / c / RTMP=rtmp://h/live/c"};
        QTest::addRow("fallback url equal to an offered play url: only the other address")
            << QJsonArray{QJsonObject{{"label", "N1"},
                                      {"rooms", QJsonArray{room("a", "rtmp://h/live/k?x=1", {}, "",
                                                                " srt://h:8890?streamid=publish:live/k ")}}},
                          QJsonObject{{"label", ""},
                                      {"rooms", QJsonArray{room("", {}, "rtmp://h/live/k?x=1", "",
                                                                "srt://h:8890?streamid=publish%3Alive/k2")}}}}
            << QStringList{"N1 / a / RTMP=rtmp://h/live/k?x=1",
                           "N1 / a / SRT=srt://h:8890?streamid=read:live/k",
                           "未知节点 / -key / SRT=srt://h:8890?streamid=read%3Alive/k2"};
        QTest::addRow("room without any address adds nothing")
            << QJsonArray{QJsonObject{{"label", "n"},
                                      {"rooms", QJsonArray{room("a", "", "", "", "srt://x")}}}}
            << QStringList{};
    }
    void pullSources() {
        QFETCH(QJsonArray, nodes);
        QList<PullSource> fromReplies;
        RtmpRoomList page;
        QList<RtmpRoom> pageRows;
        int index = 0;
        for (const QJsonValue& node : nodes) {
            const QString label = node["label"].toString();
            const QJsonObject reply{{"rooms", node["rooms"]}};
            addPullSourcesFromStatus(fromReplies, label, 200, reply);
            pageRows += rtmpRowsFromStatus(200, reply, {}, {index++, {}, label});
        }
        pageRows.append(rtmpServiceRow({9, {}, QStringLiteral("坏节点")}, QStringLiteral("x")));
        QList<PullSource> fromRows;
        for (const RtmpRoom& r : pageRows)
            addPullSources(fromRows, r);

        QStringList got;
        for (const PullSource& s : fromReplies)
            got << s.label + QLatin1Char('=') + s.url;
        QCOMPARE(got, fetched<QStringList>("expected"));
        QCOMPARE(fromRows, fromReplies); // page rows and fresh replies offer the same
    }

    // Preview addresses come from the Agent: only web addresses reach a browser.
    void previewWebAddresses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("opened");
        QTest::newRow("http") << " http://1.2.3.4:8888/live/a/ " << true;
        QTest::newRow("https upper case") << "HTTPS://h.example/x" << true;
        QTest::newRow("local file") << "file:///etc/passwd" << false;
        QTest::newRow("script") << "javascript:alert(1)" << false;
        QTest::newRow("no host") << "http:relative" << false;
        QTest::newRow("program") << "C:\\Windows\\calc.exe" << false;
    }
    void previewWebAddresses() {
        QCOMPARE(previewWebUrl(fetched<QString>("text")).isValid(), fetched<bool>("opened"));
    }

    void failedReplyOffersNoSources() {
        QList<PullSource> sources;
        const QJsonObject reply{{"rooms", QJsonArray{room("a", "rtmp://p", "", "", "")}},
                                {"error", "partial"}};
        addPullSourcesFromStatus(sources, QStringLiteral("n"), 200, reply);
        addPullSourcesFromStatus(sources, QStringLiteral("n"), 0, QJsonObject{{"rooms", reply["rooms"]}});
        QVERIFY(sources.isEmpty());
    }

    // The id must arrive as one path segment, whatever it holds.
    void roomIdsPercentEncodedOnTheWire_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("plain") << "abc"
                               << "" << QByteArray("/rtmp/rooms/abc");
        QTest::newRow("slash blank query fragment accent")
            << QStringLiteral("a/b ?#é") << "enable" << QByteArray("/rtmp/rooms/a%2Fb%20%3F%23%C3%A9/enable");
        QTest::newRow("percent and plus") << "50%+x"
                                          << "reset-key" << QByteArray("/rtmp/rooms/50%25%2Bx/reset-key");
    }
    void roomIdsPercentEncodedOnTheWire() {
        testsupport::RecordingServer server;
        Node node;
        node.agentApi.host = QStringLiteral("127.0.0.1");
        node.agentApi.port = server.port();
        node.agentApi.token = QStringLiteral("t");
        int status = 0;
        net::agentRequest(node, QStringLiteral("POST"),
                          rtmpRoomPath(fetched<QString>("id"), fetched<QString>("action")), {}, &status);
        QCOMPARE(status, 200);
        QCOMPARE(server.lastRequest().path, fetched<QByteArray>("path"));
    }
};

ONDIVO_TEST_MAIN_CORE(TestRtmpRooms)
#include "tst_rtmprooms.moc"
