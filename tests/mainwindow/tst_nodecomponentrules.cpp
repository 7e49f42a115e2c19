#include "TestMain.h"

#include "app/AppConstants.h"
#include "mainwindow/NodeComponentRules.h"
#include "net/RequestResult.h"
#include "releases/Changelog.h"

#include <QJsonDocument>

using namespace mainwindow;
using namespace releases;

namespace {

QJsonObject json(const QString& text) {
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

} // namespace

class TestNodeComponentRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void confirmationQuestions_data() {
        QTest::addColumn<int>("engine");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("question");
        QTest::newRow("uninstall GOST on three")
            << int(Engine::Gost) << "/gost/uninstall" << 3 << "确定卸载选中 3 个节点的 GOST？";
        QTest::newRow("uninstall MediaMTX") << int(Engine::MediaMtx) << "/rtmp/mediamtx/uninstall" << 1
                                            << "确定卸载选中 1 个节点的 MediaMTX？";
        QTest::newRow("uninstall FFmpeg")
            << int(Engine::Ffmpeg) << "/ffmpeg/uninstall" << 2 << "确定卸载选中 2 个节点的 FFmpeg？";
        QTest::newRow("install asks nothing") << int(Engine::Gost) << "/gost/install" << 3 << "";
        QTest::newRow("GOST stop warns about proxies")
            << int(Engine::Gost) << "/gost/stop" << 2
            << "确定停止选中 2 个节点的 GOST？已启用的代理和中转会保持配置，但引擎停止后不可用。";
        QTest::newRow("RTMP stop asks nothing") << int(Engine::MediaMtx) << "/rtmp/stop" << 2 << "";
    }
    void confirmationQuestions() {
        QFETCH(int, engine);
        QFETCH(QString, path);
        QFETCH(int, count);
        QFETCH(QString, question);
        QCOMPARE(engineConfirmationText(Engine(engine), path, count), question);
    }

    void replyOutcome_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("reason");
        QTest::newRow("200 without error") << 200 << R"({"installed": true})" << true << "";
        QTest::newRow("200 with error") << 200 << R"({"error": " busy "})" << false << "busy";
        QTest::newRow("500 with error") << 500 << R"({"error": "disk full"})" << false << "disk full";
        QTest::newRow("500 without error") << 500 << "{}" << false << "HTTP 500";
        QTest::newRow("no answer at all") << 0 << "{}" << false << "请求失败";
        QTest::newRow("301 is not success") << 301 << "{}" << false << "HTTP 301";
    }
    void replyOutcome() {
        QFETCH(int, status);
        QFETCH(QString, reply);
        QFETCH(bool, success);
        QFETCH(QString, reason);
        const net::RequestResult result{status, json(reply)};
        QCOMPARE(!result.failed(), success);
        if (!success)
            QCOMPARE(result.text(), reason);
    }

    void engineSummary() {
        BatchTally tally;
        QCOMPARE(engineBatchSummary(QStringLiteral("安装 GOST"), tally), QString());
        tally.successes = 1;
        tally.fail(QStringLiteral("东京"), QStringLiteral("HTTP 500"));
        tally.fail(QStringLiteral("大阪"), QString::fromUtf8(kMissingAgentReason));
        QCOMPARE(
            engineBatchSummary(QStringLiteral("安装 GOST"), tally),
            QStringLiteral("安装 GOST完成：成功 1，失败 2\n\n东京: HTTP 500\n大阪: 缺少 Agent API 信息"));
    }

    void summaryKeepsPercentSignsInReasons() {
        BatchTally tally;
        tally.fail(QStringLiteral("n1"), QStringLiteral("disk at 100%1 %2"));
        QCOMPARE(engineBatchSummary(QStringLiteral("卸载 FFmpeg"), tally),
                 QStringLiteral("卸载 FFmpeg完成：成功 0，失败 1\n\nn1: disk at 100%1 %2"));
        QCOMPARE(agentUpdateSummary(tally).text,
                 QStringLiteral("Agent 更新完成：成功 0，失败 1\n\nn1: disk at 100%1 %2"));
    }

    void versionCheckTexts() {
        BatchTally tally;
        tally.successes = 2;
        QCOMPARE(versionCheckStatusLine(tally), QStringLiteral("版本检测完成：成功 2，失败 0"));
        QCOMPARE(versionCheckWarning(tally), QString());
        tally.fail(QStringLiteral("a"),
                   versionCheckFailureReason(0, json(R"({"error": "Connection refused"})")));
        tally.fail(QStringLiteral("b"), versionCheckFailureReason(502, json("{}")));
        tally.fail(QStringLiteral("c"), versionCheckFailureReason(401, json(R"({"error": "bad token"})")));
        QCOMPARE(versionCheckStatusLine(tally), QStringLiteral("版本检测完成：成功 2，失败 3"));
        QCOMPARE(versionCheckWarning(tally),
                 QStringLiteral("检测版本失败:\n\na: 离线\nb: HTTP 502\nc: bad token"));
    }

    void installScriptFallback_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("fallback");
        QTest::newRow("404") << 404 << "{}" << true;
        QTest::newRow("404 with other error") << 404 << R"({"error": "nope"})" << true;
        QTest::newRow("400 route not found") << 400 << R"({"error": "route not found"})" << true;
        QTest::newRow("500 Not Found in any case") << 500 << R"({"error": "Handler Not Found"})" << true;
        QTest::newRow("500 other error") << 500 << R"({"error": "busy"})" << false;
        QTest::newRow("200 with not found error is no HTTP failure")
            << 200 << R"({"error": "not found"})" << false;
        QTest::newRow("broken connection") << 0 << R"({"error": "Connection closed"})" << false;
    }
    void installScriptFallback() {
        QFETCH(int, status);
        QFETCH(QString, reply);
        QFETCH(bool, fallback);
        QCOMPARE(needsInstallScriptFallback(status, json(reply)), fallback);
    }

    void installScriptBody() {
        const QJsonObject body = installScriptRequestBody();
        QCOMPARE(body.value(QLatin1String("script")).toString(),
                 QStringLiteral("curl -fsSL %1 | sh").arg(QLatin1String(app::kAgentInstallScriptUrl)));
        QCOMPARE(body.value(QLatin1String("shell")).toString(), QStringLiteral("sh"));
        QCOMPARE(body.value(QLatin1String("timeoutSeconds")).toInt(), 300);
        QVERIFY(QString::fromLatin1(app::kAgentInstallScriptUrl).startsWith(QLatin1String("https://")));
    }

    void execReplyReplacesUpdateReply_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("error");
        QTest::newRow("ok true") << 200 << R"({"ok": true, "exitCode": 3})" << true << "";
        QTest::newRow("ok false exit 0 is accepted")
            << 200 << R"({"ok": false, "exitCode": 0})" << true << "";
        QTest::newRow("exit 2 without output")
            << 200 << R"({"ok": false, "exitCode": 2, "stderr": "", "stdout": ""})" << false
            << "install script failed";
        QTest::newRow("missing exit code counts as 1")
            << 200 << R"({"ok": false})" << false << "install script failed";
        QTest::newRow("output is stderr then stdout, trimmed")
            << 200 << R"({"exitCode": 1, "stderr": "curl: (6) no host\n", "stdout": "  step 1\n"})" << false
            << "curl: (6) no host\n\n  step 1";
        QTest::newRow("only stdout") << 200 << R"({"exitCode": 7, "stdout": "boom"})" << false << "boom";
        QTest::newRow("exec refused keeps its error")
            << 403 << R"({"error": "exec disabled"})" << false << "exec disabled";
        QTest::newRow("exec refused without error") << 500 << "{}" << false << "HTTP 500";
    }
    void execReplyReplacesUpdateReply() {
        QFETCH(int, status);
        QFETCH(QString, reply);
        QFETCH(bool, accepted);
        QFETCH(QString, error);
        const QJsonObject update = updateReplyFromExec(status, json(reply));
        const net::RequestResult result{status, update};
        QCOMPARE(!result.failed(), accepted);
        if (!accepted)
            QCOMPARE(result.text(), error);
    }

    void versionMatch() {
        QVERIFY(agentAtVersion(json(R"({"agentVersion": "0.5.41"})"), QStringLiteral("0.5.41")));
        QVERIFY(!agentAtVersion(json(R"({"agentVersion": "0.5.30"})"), QStringLiteral("0.5.41")));
        QVERIFY(!agentAtVersion(json("{}"), QString()));
    }

    void agentSummaryBoxes() {
        BatchTally tally;
        tally.successes = 2;
        SummaryBox box = agentUpdateSummary(tally);
        QVERIFY(!box.warning);
        QCOMPARE(box.text, QStringLiteral("Agent 更新请求已发送：2 个节点。服务重启后版本会自动刷新。"));
        tally.fail(QStringLiteral("x"), QStringLiteral("HTTP 502"));
        box = agentUpdateSummary(tally);
        QVERIFY(box.warning);
        QCOMPARE(box.text, QStringLiteral("Agent 更新完成：成功 2，失败 1\n\nx: HTTP 502"));
    }

    void changelogParsing() {
        const Changelog empty = parseChangelog(QJsonObject(), QStringLiteral("Agent 更新日志"));
        QCOMPARE(empty.title, QStringLiteral("Agent 更新日志"));
        QVERIFY(empty.items.isEmpty());

        const Changelog log = parseChangelog(json(R"({"title": "Agent 0.5.41", "items": [
            {"title": "修复", "children": [{"title": "状态超时"}, {"title": "日志", "children": [{"title": "深层"}]}]},
            {"title": "新增"}, "not an object"]})"),
                                             QStringLiteral("Agent 更新日志"));
        QCOMPARE(log.title, QStringLiteral("Agent 0.5.41"));
        QCOMPARE(log.items.size(), 3);
        QCOMPARE(log.items[0].children.size(), 2);
        QCOMPARE(log.items[0].children[1].children[0].title, QStringLiteral("深层"));
        QCOMPARE(log.items[1].title, QStringLiteral("新增"));
        QCOMPARE(log.items[2].title, QString());

        QCOMPARE(parseChangelog(json(R"({"title": "  "})"), QStringLiteral("客户端更新日志")).title,
                 QStringLiteral("客户端更新日志"));
    }
};

ONDIVO_TEST_MAIN_CORE(TestNodeComponentRules)
#include "tst_nodecomponentrules.moc"
