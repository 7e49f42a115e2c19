#include "TestMain.h"

#include "app/LocalProtection.h"
#include "app/Settings.h"
#include "net/RequestLayer.h"
#include "proxy/ProxyBridgeRow.h"
#include "proxy/ProxyRules.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace proxy;

namespace {

ProxyBridgeRow bridge(const QString& node, const QString& id, const QString& name = QString()) {
    ProxyBridgeRow row;
    row.nodeId = node;
    row.id = id;
    row.name = name.isEmpty() ? id : name;
    return row;
}

QStringList names(const QList<ProxyBridgeRow>& rows) {
    QStringList out;
    for (const ProxyBridgeRow& row : rows)
        out << row.nodeId + QLatin1Char('/') + row.name;
    return out;
}

} // namespace

class ProxyRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A poll reply as the proxy row shows it: state, port, account, clients, uptime and error columns.
    void proxyRow_data() {
        QTest::addColumn<bool>("networkError");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("expected"); // state, port, user, clients, total, uptime, error
        QTest::addColumn<bool>("copyable");
        const QString run = QStringLiteral(
            R"("running":true,"port":1080,"username":"u","password":"s3cr3t","socksAddr":"h:1080")");
        QTest::newRow("uptime 59") << false << 200 << "{" + run + R"(,"uptimeSeconds":59})"
                                   << QStringList{"运行中", "1080", "u", "0", "0.00 B", "00:00:59", "--"}
                                   << true;
        QTest::newRow("uptime 86399.9")
            << false << 200 << "{" + run + R"(,"uptimeSeconds":86399.9})"
            << QStringList{"运行中", "1080", "u", "0", "0.00 B", "23:59:59", "--"} << true;
        QTest::newRow("uptime 86400")
            << false << 200 << "{" + run + R"(,"uptimeSeconds":86400})"
            << QStringList{"运行中", "1080", "u", "0", "0.00 B", "1d 00:00:00", "--"} << true;
        QTest::newRow("uptime 1d 2h")
            << false << 200 << "{" + run + R"(,"uptimeSeconds":93600})"
            << QStringList{"运行中", "1080", "u", "0", "0.00 B", "1d 02:00:00", "--"} << true;
        QTest::newRow("uptime negative")
            << false << 200 << "{" + run + R"(,"uptimeSeconds":-5})"
            << QStringList{"运行中", "1080", "u", "0", "0.00 B", "00:00:00", "--"} << true;
        QTest::newRow("enabled, not running: totals and counts, no account")
            << false << 200
            << R"({"running":false,"enabled":true,"port":1080,"username":"u","password":"s3cr3t","socksAddr":"h:1080",
                  "activeConnections":3,"connections":[{"clientIp":"1.2.3.4"}],"totalUpload":1024,
                  "totalDownload":1024,"uptimeSeconds":50})"
            << QStringList{"已启用", "--", "--", "1", "2.00 KB", "--", "--"} << false;
        QTest::newRow("stopped") << false << 200 << R"({"running":false})"
                                 << QStringList{"已停止", "--", "--", "0", "0.00 B", "--", "--"} << false;
        QTest::newRow("error with running is a status")
            << false << 200 << R"({"running":false,"error":"x"})"
            << QStringList{"已停止", "--", "--", "0", "0.00 B", "--", "x"} << false;
        QTest::newRow("error without running is a failure")
            << false << 200 << R"({"error":"x"})" << QStringList{"失败", "--", "--", "--", "--", "--", "x"}
            << false;
        QTest::newRow("HTTP error with text")
            << true << 500 << R"({"error":"GOST 未安装"})"
            << QStringList{"失败", "--", "--", "--", "--", "--", "GOST 未安装"} << false;
        QTest::newRow("hostile figures")
            << false << 200 << R"({"running":false,"totalUpload":1e300,"totalDownload":1e300})"
            << QStringList{"已停止", "--", "--", "0", "--", "--", "--"} << false;
        QTest::newRow("negative total") << false << 200 << R"({"running":false,"totalUpload":-5})"
                                        << QStringList{"已停止", "--", "--", "0", "--", "--", "--"} << false;
        QTest::newRow("success that is no JSON")
            << false << 200 << "<html>ok</html>"
            << QStringList{"失败", "--", "--", "--", "--", "--", "回复格式错误"} << false;
        QTest::newRow("HTTP error without text")
            << true << 404 << "not json" << QStringList{"失败", "--", "--", "--", "--", "--", "HTTP 404"}
            << false;
        QTest::newRow("no answer") << true << 0 << ""
                                   << QStringList{"离线", "--", "--", "--", "--", "--", "Connection refused"}
                                   << false;
    }
    void proxyRow() {
        QFETCH(bool, networkError);
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(QStringList, expected);
        QFETCH(bool, copyable);
        // Parsed as the page's poll parses it.
        const ProxyRowView view = proxyRowFromPoll(networkError, QStringLiteral("Connection refused"), status,
                                                   net::parseReplyObject(status, body.toUtf8()));
        QCOMPARE(view.cells.size(), 10);
        const QStringList got{view.state,    view.cells[0], view.cells[1], view.cells[4],
                              view.cells[7], view.cells[8], view.cells[9]};
        QCOMPARE(got, expected);
        QCOMPARE(view.connection.isComplete(), copyable);
        QVERIFY(!view.cells.join(QLatin1Char('|')).contains(QStringLiteral("s3cr3t"))); // masked in the table
    }

    // What a question before stopping proxies or deleting a bridge says is live, from the rows' state.
    void liveNotes_data() {
        QTest::addColumn<QByteArray>("statuses"); // one status reply per selected Node
        QTest::addColumn<QString>("note");
        QTest::newRow("three connections on one")
            << QByteArray("[{'running':true,'activeConnections':3}]") << "有 3 个活动连接";
        QTest::newRow("summed over Nodes, stopped ones add none")
            << QByteArray("[{'running':true,'activeConnections':2},{'running':true,'activeConnections':1},"
                          "{'running':false,'activeConnections':9}]")
            << "有 3 个活动连接";
        QTest::newRow("running idle") << QByteArray("[{'running':true}]") << "正在运行";
        QTest::newRow("peer's negative count")
            << QByteArray("[{'running':true,'activeConnections':-4}]") << "正在运行";
        QTest::newRow("huge counts stay in range")
            << QByteArray("[{'running':true,'activeConnections':2147483647},"
                          "{'running':true,'activeConnections':2147483647}]")
            << "有 2000000 个活动连接";
        QTest::newRow("all stopped") << QByteArray("[{'running':false,'enabled':true}]") << "";
    }
    void liveNotes() {
        QFETCH(QByteArray, statuses);
        QFETCH(QString, note);
        int running = 0;
        int connections = 0;
        const QByteArray text = statuses.replace('\'', '"');
        for (const QJsonValue& value : QJsonDocument::fromJson(text).array()) {
            const ProxyRowView view = proxyRowFromStatus(value.toObject());
            running += view.running ? 1 : 0;
            connections += view.running ? view.activeConnections : 0;
        }
        QCOMPARE(liveNote(running, connections), note);
        const QString question = stopProxiesQuestion({QStringLiteral("A")}, running, connections);
        QCOMPARE(question.contains(note), true);
        QCOMPARE(question.contains(QStringLiteral("连接")) || question.contains(QStringLiteral("运行")),
                 !note.isEmpty());
        QCOMPARE(deleteBridgeQuestion(QStringLiteral("b"), running > 0, connections).contains(note), true);
    }

    void distinctClients_data() {
        QTest::addColumn<QString>("connections");
        QTest::addColumn<int>("count");
        QTest::newRow("client with port and clientIp of the same address")
            << R"([{"client":"10.0.0.1:5000"},{"clientIp":"10.0.0.1"}])" << 1;
        QTest::newRow("client without colon counts whole")
            << R"([{"client":"10.0.0.1"},{"client":"10.0.0.2:1"}])" << 2;
        QTest::newRow("clientIp wins over client")
            << R"([{"clientIp":"a","client":"b:1"},{"client":"a:2"}])" << 1;
        QTest::newRow("leading colon keeps the text") << R"([{"client":":99"},{"client":""},{}])" << 1;
        QTest::newRow("IPv6 with port") << R"([{"client":"[::1]:80"},{"client":"[::1]:81"}])" << 1;
    }
    void distinctClients() {
        QFETCH(QString, connections);
        QFETCH(int, count);
        QCOMPARE(distinctClientCount(QJsonDocument::fromJson(connections.toUtf8()).array()), count);
    }

    // Fresh installs never share a password: a random one is proposed, stored and then kept; a typed one
    // survives exactly, spaces included.
    void defaultPassword() {
        testsupport::clearSettings();
        const QString first = randomProxyPassword();
        QVERIFY(first.size() >= 16);
        QVERIFY(first != randomProxyPassword());
        for (const QChar c : first)
            QVERIFY2(c.isLetterOrNumber() && !QStringLiteral("0O1lIo").contains(c), qPrintable(first));
        const ProxyDefaults proposed = loadProxyDefaults();
        QVERIFY(proposed.password.size() >= 16);
        QVERIFY(proposed.password != QLatin1String("pelrand"));
        QCOMPARE(loadProxyDefaults().password, proposed.password);
        QCOMPARE(app::unprotectLocal(settings::gostProtectedPassword()), proposed.password);

        saveProxyDefaults({2080, QStringLiteral("  alice "), QStringLiteral(" pass word ")});
        const ProxyDefaults typed = loadProxyDefaults();
        QCOMPARE(typed.port, 2080);
        QCOMPARE(typed.username, QStringLiteral("alice"));
        QCOMPARE(typed.password, QStringLiteral(" pass word "));
        QVERIFY(!ProxyDefaults({1080, QStringLiteral("   "), QStringLiteral("p")}).isComplete());
    }

    // Columns 0 and 3 to 7 and 12 of a bridge row.
    void bridgeCells_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("running without upstream is not configured")
            << R"({"running":true,"port":7000})"
            << QStringList{"未配置", ":7000", "未配置", "--", "--", "--", "--", "0", "0.00 B"};
        QTest::newRow("tcp 35, no latency")
            << R"({"upstreamHost":"h","upstreamPort":1,"socksAddr":"a:1","lastTest":{"tcpConnectMs":35,
                  "latencySuccess":0,"downloadBytesPerSecond":0,"testedAt":1,"tcpConnectError":"t"}})"
            << QStringList{"已停止", "a:1", "h:1", "35ms / 失败", "失败", "*", "t", "0", "0.00 B"};
        QTest::newRow("testing hides older results")
            << R"({"upstreamHost":"h","upstreamPort":1,"running":true,"testing":true,"error":"e",
                  "lastTest":{"tcpConnectMs":5,"latencySuccess":2,"latencyAvgMs":9,"testedAt":1}})"
            << QStringList{"运行中", ":0", "h:1", "测试中", "测试中", "测试中", "e", "0", "0.00 B"};
        QTest::newRow("tcp failed, latency ok, speed")
            << R"({"upstreamHost":"h","upstreamPort":1,"lastTest":{"latencySuccess":3,"latencyAvgMs":12,
                  "downloadBytesPerSecond":2048,"testedAt":1,"error":"slow"}})"
            << QStringList{"已停止", ":0", "h:1", "失败 / 12ms", "2.00 KB/s", "*", "slow", "0", "0.00 B"};
        QTest::newRow("never tested")
            << R"({"upstreamHost":"h","upstreamPort":0})"
            << QStringList{"未配置", ":0", "未配置", "--", "--", "--", "--", "0", "0.00 B"};
        // Numbers out of every plausible range are checked before conversion and shown as "--".
        QTest::newRow("hostile figures")
            << R"({"upstreamHost":"h","upstreamPort":1,"activeConnections":-2,"totalUpload":1e300,
                  "lastTest":{"tcpConnectMs":1e300,"latencySuccess":1,"latencyAvgMs":-4,"testedAt":1e300}})"
            << QStringList{"已停止", ":0", "h:1", "--", "--", "--", "--", "--", "--"};
        QTest::newRow("negative totals")
            << R"({"upstreamHost":"h","upstreamPort":1,"totalUpload":-1e6,"totalDownload":10,
                  "lastTest":{"tcpConnectMs":1e300,"latencySuccess":1,"latencyAvgMs":-4,"testedAt":5}})"
            << QStringList{"已停止", ":0", "h:1", "失败 / 0ms", "失败", "*", "--", "0", "--"};
    }
    void bridgeCells() {
        QFETCH(QString, body);
        QFETCH(QStringList, expected);
        const QStringList cells = proxy::bridgeCells(
            ProxyBridgeRow::fromJson(QJsonDocument::fromJson(body.toUtf8()).object(), "n", "N"));
        QCOMPARE(cells.size(), kBridgeColumnCount);
        QStringList got{cells[0], cells[3],  cells[4], cells[5], cells[6],
                        cells[7], cells[12], cells[8], cells[11]};
        if (expected[5] == QLatin1String("*")) // a local time: only its form matters
            got[5] = got[5].size() == 19 ? QStringLiteral("*") : got[5];
        QCOMPARE(got, expected);
    }

    // One Node's reply merged into the list: its rows replaced in place or dropped, new ones appended,
    // other Nodes untouched; changes made after the request was sent win over the reply.
    void merge_data() {
        QTest::addColumn<QStringList>("replyIds"); // bridges Node A returns
        QTest::addColumn<QString>("deletedLater");
        QTest::addColumn<QString>("updatedLater");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("replace in place, keep B, append new")
            << QStringList{"a2", "a9", "a1"} << ""
            << "" << QStringList{"A/a1", "B/b1", "A/a2", "A/a9"};
        QTest::newRow("missing row dropped") << QStringList{"a2"} << ""
                                             << "" << QStringList{"B/b1", "A/a2"};
        QTest::newRow("failed Node loses its rows") << QStringList{} << ""
                                                    << "" << QStringList{"B/b1"};
        QTest::newRow("deleted while the request waited stays deleted")
            << QStringList{"a1", "a2", "a3"} << "A|a3"
            << "" << QStringList{"A/a1", "B/b1", "A/a2"};
        QTest::newRow("saved while waiting keeps its own row")
            << QStringList{"a2"} << ""
            << "A|a1" << QStringList{"A/local", "B/b1", "A/a2"};
    }
    void merge() {
        QFETCH(QStringList, replyIds);
        QFETCH(QString, deletedLater);
        QFETCH(QString, updatedLater);
        QFETCH(QStringList, expected);
        QList<ProxyBridgeRow> list{bridge("A", "a1"), bridge("B", "b1"), bridge("A", "a2")};
        BridgeEdits edits;
        edits.noteDeleted(QStringLiteral("A|old")); // before the request: no effect
        const quint64 stamp = edits.stamp();
        if (!deletedLater.isEmpty())
            edits.noteDeleted(deletedLater);
        if (!updatedLater.isEmpty()) {
            edits.noteUpdated(updatedLater);
            list[0].name = QStringLiteral("local");
        }
        QList<ProxyBridgeRow> fresh;
        for (const QString& id : replyIds)
            fresh << bridge("A", id);
        mergeNodeBridges(list, QStringLiteral("A"), fresh, edits, stamp);
        QCOMPARE(names(list), expected);
    }

    // A new bridge avoids the ports its Node's proxy and bridges hold.
    void freePort_data() {
        QTest::addColumn<int>("preferred");
        QTest::addColumn<QList<int>>("taken");
        QTest::addColumn<int>("expected");
        QTest::newRow("preferred is free") << 1080 << QList<int>{22001} << 1080;
        QTest::newRow("held by the proxy and a bridge") << 1080 << QList<int>{1080, 1081} << 1082;
        QTest::newRow("past the top") << 65535 << QList<int>{65535, 1024} << 1025;
    }
    void freePort() {
        QFETCH(int, preferred);
        QFETCH(QList<int>, taken);
        QFETCH(int, expected);
        QCOMPARE(proxy::firstFreePort(preferred, QSet<int>(taken.begin(), taken.end())), expected);
    }

    void reselect_data() {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("expected");
        QTest::newRow("key moved") << QStringList{"x", "y", "z"} << "z" << 0 << 2;
        QTest::newRow("last row deleted") << QStringList{"x", "y"} << "z" << 2 << 1;
        QTest::newRow("table emptied") << QStringList{} << "z" << 0 << -1;
        QTest::newRow("nothing selected") << QStringList{"x"} << "" << -1 << -1;
    }
    void reselect() {
        QFETCH(QStringList, keys);
        QFETCH(QString, key);
        QFETCH(int, row);
        QFETCH(int, expected);
        QCOMPARE(rowToReselect(keys, key, row), expected);
    }
};

ONDIVO_TEST_MAIN_CORE(ProxyRulesTest)
#include "tst_proxyrules.moc"
