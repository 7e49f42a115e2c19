#include "NodesTestWindow.h"
#include "TestMain.h"

#include "PlainText.h"
#include "mainwindow/MainWindowTiming.h"
#include "mainwindow/NodeMaintenance.h"
#include "net/RequestTiming.h"
#include "releases/ChangelogDialog.h"

#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

using testsupport::agentNode;
using testsupport::RecordingServer;
using ui::testing::Shown;

namespace {

QStringList paths(const RecordingServer& server) {
    QStringList list;
    for (const auto& request : server.requests())
        list << QString::fromLatin1(request.method + ' ' + request.path);
    return list;
}

QList<Shown> boxes(const QString& kind) {
    QList<Shown> list;
    for (const Shown& shown : ui::testing::shown()) {
        if (shown.kind == kind)
            list << shown;
    }
    return list;
}

QByteArray versionStatus(const char* version) {
    return QByteArray(R"({"agentVersion": ")") + version + R"("})";
}

// Accepts the changelog dialog and keeps what it showed.
struct DialogSeen {
    QString title;
    QString label;
    QStringList topLevel;
    QStringList children;
    bool allExpanded = true;
    QString confirmText;
    bool plainTitle = false;
};

void queueChangelogAnswer(std::shared_ptr<DialogSeen> seen, int result) {
    ui::testing::queueDialog([seen, result](QDialog& dialog) {
        auto* changelog = dynamic_cast<ChangelogDialog*>(&dialog);
        if (!changelog)
            return int(QDialog::Rejected);
        seen->title = dialog.windowTitle();
        seen->label = changelog->titleLabel()->text();
        seen->plainTitle = testsupport::showsPlainText(changelog->titleLabel());
        seen->confirmText = changelog->confirmButton()->text();
        QTreeWidget* tree = changelog->tree();
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = tree->topLevelItem(i);
            seen->topLevel << item->text(0);
            if (item->childCount() > 0 && !item->isExpanded())
                seen->allExpanded = false;
            for (int c = 0; c < item->childCount(); ++c)
                seen->children << item->child(c)->text(0);
        }
        return result;
    });
}

} // namespace

class TestNodeComponents : public QObject {
    Q_OBJECT

    testsupport::NodesTestWindow fixture;

    NodeMaintenance& components() { return fixture.page()->maintenance(); }
    void selectAll() { fixture.table()->selectAll(); }

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        mainwindow::timing.restartFirstWaitMs = 5;
        mainwindow::timing.restartNextWaitMs = 5;
        mainwindow::timing.afterUpdateRefreshMs = 50;
        mainwindow::timing.pollAfterLoadMs = -1; // each test scripts every request its Agent answers
        QVERIFY(fixture.open());
    }
    void cleanup() {
        fixture.window.reset();
        fixture.cloud.reset();
    }

    void nothingSelectedAsksToSelect() {
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), 1)});
        fixture.table()->setCurrentCell(-1, -1);
        fixture.table()->clearSelection();
        components().runFfmpegAction(QStringLiteral("/ffmpeg/install"), QStringLiteral("安装 FFmpeg"));
        components().checkAgentVersions();
        components().updateSelectedAgents();
        const QList<Shown> shown = boxes(QStringLiteral("information"));
        QCOMPARE(shown.size(), 3);
        for (const Shown& box : shown) {
            QCOMPARE(box.text, QStringLiteral("请先选择节点。"));
            QCOMPARE(box.title, QStringLiteral("Ondivo"));
        }
        QVERIFY(fixture.cloud->requests().isEmpty());
    }

    void uninstallAsksWithTheNodeCount_data() {
        QTest::addColumn<bool>("consent");
        QTest::newRow("No stops") << false;
        QTest::newRow("Yes uninstalls") << true;
    }
    void uninstallAsksWithTheNodeCount() {
        QFETCH(bool, consent);
        RecordingServer agent;
        agent.setDefaultReply(RecordingServer::json(200, R"({"installed": false})"));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), agent.port()),
                          agentNode(QStringLiteral("n2"), QStringLiteral("乙"), agent.port()),
                          agentNode(QStringLiteral("n3"), QStringLiteral("丙"), agent.port())});
        selectAll();
        ui::testing::queueAnswer(consent);
        components().runGostAction(QStringLiteral("/gost/uninstall"), QStringLiteral("卸载 GOST"));
        const QList<Shown> questions = boxes(QStringLiteral("question"));
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions[0].text, QStringLiteral("确定卸载选中 3 个节点的 GOST？"));
        if (!consent) {
            QVERIFY(agent.requests().isEmpty());
            QCOMPARE(fixture.window->isBusy(), false);
            return;
        }
        QCOMPARE(paths(agent).mid(0, 3), QStringList(3, QStringLiteral("POST /gost/uninstall")));
        QCOMPARE(agent.requests()[0].body, QByteArray("{}"));
        for (int row = 0; row < 3; ++row)
            QCOMPARE(fixture.cell(row, 5), QStringLiteral("未安装"));
        QVERIFY(boxes(QStringLiteral("warning")).isEmpty());
        QCOMPARE(fixture.window->isBusy(), false);
        QCOMPARE(fixture.window->statusText(), QStringLiteral("卸载 GOST完成"));
        QVERIFY(fixture.page()->statusPollInFlight()); // the follow-up status refresh went out
    }

    void installAsksNothingAndWritesTheEngineColumn() {
        RecordingServer agent;
        agent.setDefaultReply(
            RecordingServer::json(200, R"({"installed": true, "running": true, "version": "v1.9.3"})"));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), agent.port())});
        fixture.table()->selectRow(0);
        components().runMediaMtxAction(QStringLiteral("/rtmp/mediamtx/install"),
                                       QStringLiteral("安装 MediaMTX"));
        QVERIFY(ui::testing::shown().isEmpty());
        QCOMPARE(agent.requests().first().path, QByteArray("/rtmp/mediamtx/install"));
        QCOMPARE(fixture.cell(0, 4), QStringLiteral("v1.9.3 运行中"));
        // The pages that list MediaMTX rooms hear that the engine changed.
        QCOMPARE(fixture.window->engineActions, QList<fleet::Engine>{fleet::Engine::MediaMtx});
    }

    void everyNodeWithoutAgentData() {
        Node a = agentNode(QStringLiteral("n1"), QStringLiteral("甲"), 1, QString());
        Node b = agentNode(QStringLiteral("n2"), QStringLiteral("乙"), 1);
        b.agentApi.host.clear();
        fixture.setNodes({a, b});
        selectAll();
        components().runFfmpegAction(QStringLiteral("/ffmpeg/install"), QStringLiteral("安装 FFmpeg"));
        const QList<Shown> warnings = boxes(QStringLiteral("warning"));
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings[0].text,
                 QStringLiteral(
                     "安装 FFmpeg完成：成功 0，失败 2\n\n甲: 缺少 Agent API 信息\n乙: 缺少 Agent API 信息"));
    }

    void failedNodeShowsFailureAndTheOthersGoOn() {
        RecordingServer broken;
        broken.setDefaultReply(RecordingServer::json(500, R"({"error": "disk full"})"));
        RecordingServer bare;
        bare.setDefaultReply(RecordingServer::json(502, "not json"));
        RecordingServer fine;
        fine.setDefaultReply(RecordingServer::json(200, R"({"installed": true})"));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), broken.port()),
                          agentNode(QStringLiteral("n2"), QStringLiteral("乙"), bare.port()),
                          agentNode(QStringLiteral("n3"), QStringLiteral("丙"), fine.port())});
        selectAll();
        components().runFfmpegAction(QStringLiteral("/ffmpeg/update"), QStringLiteral("更新 FFmpeg"));
        QCOMPARE(fixture.cell(0, 6), QStringLiteral("失败"));
        QCOMPARE(fixture.cell(1, 6), QStringLiteral("失败"));
        QCOMPARE(fixture.cell(2, 6), QStringLiteral("已安装"));
        const QList<Shown> warnings = boxes(QStringLiteral("warning"));
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings[0].text,
                 QStringLiteral("更新 FFmpeg完成：成功 1，失败 2\n\n甲: disk full\n乙: HTTP 502"));
    }

    void versionCheck() {
        RecordingServer healthy;
        healthy.setDefaultReply(RecordingServer::json(200, R"({"agentVersion": "0.5.30", "cpu": 3,
            "memory": {"usedPercent": 80, "used": 8, "total": 10}})"));
        quint16 closedPort = 0;
        {
            RecordingServer gone;
            closedPort = gone.port();
        }
        fixture.cloud->queueReply(RecordingServer::json(200, R"({"version": "0.5.45"})"));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), healthy.port()),
                          agentNode(QStringLiteral("n2"), QStringLiteral("乙"), closedPort),
                          agentNode(QStringLiteral("n3"), QStringLiteral("丙"), 1, QString())});
        selectAll();
        components().checkAgentVersions();
        QCOMPARE(fixture.cloud->requests().first().path, QByteArray("/api/releases/agent/manifest"));
        QCOMPARE(fixture.cell(0, 3), QStringLiteral("0.5.30 -> 0.5.45"));
        QCOMPARE(fixture.cell(0, 7), QStringLiteral("3.0%"));
        QCOMPARE(fixture.table()->item(0, 8)->data(widgets::kUsagePercentRole).toDouble(), 80.0);
        QCOMPARE(fixture.cell(1, 10), QStringLiteral("离线"));
        QCOMPARE(fixture.cell(2, 10), QStringLiteral("未接入"));
        QCOMPARE(fixture.window->statusText(), QStringLiteral("版本检测完成：成功 1，失败 2"));
        const QList<Shown> warnings = boxes(QStringLiteral("warning"));
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings[0].text, QStringLiteral("检测版本失败:\n\n乙: 离线\n丙: 缺少 Agent API 信息"));
    }

    void changelogDialog_data() {
        QTest::addColumn<QByteArray>("manifest");
        QTest::addColumn<QByteArray>("cloudChangelog");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("topLevel");
        QTest::addColumn<QStringList>("children");
        QTest::newRow("no items anywhere")
            << QByteArray(R"({"version": "0.5.41"})") << QByteArray("{}") << "Agent 更新日志"
            << QStringList{"暂无更新日志"} << QStringList{};
        QTest::newRow("manifest changelog")
            << QByteArray(R"({"version": "0.5.41", "changelog": {"title": "Agent 0.5.41",
                "items": [{"title": "修复", "children": [{"title": "超时"}, {"title": "日志"}]}, {"title": "新增"}]}})")
            << QByteArray("{}") << "Agent 0.5.41" << QStringList{"修复", "新增"}
            << QStringList{"超时", "日志"};
        QTest::newRow("cloud changelog when the manifest has none")
            << QByteArray(R"({"version": "0.5.41"})")
            << QByteArray(R"({"title": "云端日志", "items": [{"title": "一"}]})") << "云端日志"
            << QStringList{"一"} << QStringList{};
        QTest::newRow("markup title from the server")
            << QByteArray(R"({"version": "0.5.41"})")
            << QByteArray(R"({"title": "<img src='/dev/zero'>", "items": [{"title": "一"}]})")
            << "<img src='/dev/zero'>" << QStringList{"一"} << QStringList{};
    }
    void changelogDialog() {
        QFETCH(QByteArray, manifest);
        QFETCH(QByteArray, cloudChangelog);
        QFETCH(QString, title);
        QFETCH(QStringList, topLevel);
        QFETCH(QStringList, children);
        RecordingServer agent;
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), agent.port())});
        fixture.table()->selectRow(0);
        fixture.cloud->queueReply(RecordingServer::json(200, manifest));
        fixture.cloud->queueReply(RecordingServer::json(200, cloudChangelog));
        auto seen = std::make_shared<DialogSeen>();
        queueChangelogAnswer(seen, QDialog::Rejected);
        components().updateSelectedAgents();
        QCOMPARE(seen->title, title);
        QCOMPARE(seen->label, title);
        QVERIFY(seen->plainTitle);
        QCOMPARE(seen->topLevel, topLevel);
        QCOMPARE(seen->children, children);
        QVERIFY(seen->allExpanded);
        QCOMPARE(seen->confirmText, QStringLiteral("确认更新"));
        QVERIFY(agent.requests().isEmpty()); // cancelled: nothing was sent
        QVERIFY(boxes(QStringLiteral("information")).isEmpty());
    }

    void tooOldAgentIsUpdatedThroughExec_data() {
        QTest::addColumn<int>("updateStatus");
        QTest::addColumn<QByteArray>("updateReply");
        QTest::newRow("404") << 404 << QByteArray("{}");
        QTest::newRow("route not found error") << 400 << QByteArray(R"({"error": "route not found"})");
    }
    void tooOldAgentIsUpdatedThroughExec() {
        QFETCH(int, updateStatus);
        QFETCH(QByteArray, updateReply);
        RecordingServer agent;
        agent.queueReply(RecordingServer::json(updateStatus, updateReply));
        agent.queueReply(RecordingServer::json(200, R"({"ok": false, "exitCode": 0})"));
        agent.setDefaultReply(RecordingServer::json(200, versionStatus("0.5.30")));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), agent.port())});
        fixture.table()->selectRow(0);
        queueChangelogAnswer(std::make_shared<DialogSeen>(), QDialog::Accepted);
        components().updateSelectedAgents();

        QCOMPARE(paths(agent).mid(0, 2), (QStringList{"POST /agent/update", "POST /exec"}));
        const QJsonObject exec = QJsonDocument::fromJson(agent.requests()[1].body).object();
        QCOMPARE(exec.value(QLatin1String("script")).toString(),
                 QStringLiteral("curl -fsSL %1 | sh").arg(QLatin1String(app::kAgentInstallScriptUrl)));
        QCOMPARE(exec.value(QLatin1String("shell")).toString(), QStringLiteral("sh"));
        QCOMPARE(exec.value(QLatin1String("timeoutSeconds")).toInt(), 300);
        QCOMPARE(fixture.cell(0, 3), QStringLiteral("重启中"));
        const QList<Shown> info = boxes(QStringLiteral("information"));
        QCOMPARE(info.size(), 1);
        QCOMPARE(info[0].text, QStringLiteral("Agent 更新请求已发送：1 个节点。服务重启后版本会自动刷新。"));
        QCOMPARE(agent.requests().size(), 2); // accepted at once: no restart polling
        QCOMPARE(fixture.window->isBusy(), false);
        // One status refresh follows a little later.
        QTRY_COMPARE(agent.requests().size(), 3);
        QCOMPARE(paths(agent).last(), QStringLiteral("GET /status"));
    }

    void failingInstallScript() {
        RecordingServer agent;
        agent.queueReply(RecordingServer::json(404, "{}"));
        agent.queueReply(
            RecordingServer::json(200, R"({"ok": false, "exitCode": 2, "stderr": "", "stdout": ""})"));
        agent.setDefaultReply(RecordingServer::json(200, versionStatus("0.5.30")));
        Node lacking = agentNode(QStringLiteral("n2"), QStringLiteral("乙"), 1, QString());
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), agent.port()), lacking});
        selectAll();
        queueChangelogAnswer(std::make_shared<DialogSeen>(), QDialog::Accepted);
        components().updateSelectedAgents();

        QCOMPARE(paths(agent).size(), 2 + mainwindow::kRestartPollTries);
        QCOMPARE(paths(agent).last(), QStringLiteral("GET /status"));
        QCOMPARE(fixture.cell(0, 3), QStringLiteral("失败"));
        const QList<Shown> warnings = boxes(QStringLiteral("warning"));
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings[0].text,
                 QStringLiteral(
                     "Agent 更新完成：成功 0，失败 2\n\n甲: install script failed\n乙: 缺少 Agent API 信息"));
        QCOMPARE(fixture.window->isBusy(), false);
    }

    void brokenUpdateConfirmedByTheThirdPoll() {
        net::timing.longOperationIdleTimeoutMs = 300; // the update waits with the long limit
        RecordingServer agent;
        RecordingServer::Reply broken;
        broken.hang = true; // the Agent went away mid-request while restarting
        agent.queueReply(broken);
        agent.queueReply(RecordingServer::json(200, versionStatus("0.5.30")));
        agent.queueReply(RecordingServer::json(503, R"({"error": "starting"})"));
        agent.queueReply(RecordingServer::json(200, versionStatus("0.5.41")));
        agent.setDefaultReply(RecordingServer::json(200, versionStatus("0.5.41")));
        fixture.setNodes({agentNode(QStringLiteral("n1"), QStringLiteral("甲"), agent.port())});
        fixture.table()->selectRow(0);
        queueChangelogAnswer(std::make_shared<DialogSeen>(), QDialog::Accepted);
        components().updateSelectedAgents();

        QCOMPARE(paths(agent),
                 (QStringList{"POST /agent/update", "GET /status", "GET /status", "GET /status"}));
        QCOMPARE(fixture.cell(0, 3), QStringLiteral("0.5.41"));
        QVERIFY(boxes(QStringLiteral("warning")).isEmpty());
        QCOMPARE(boxes(QStringLiteral("information")).value(0).text,
                 QStringLiteral("Agent 更新请求已发送：1 个节点。服务重启后版本会自动刷新。"));
    }
};

ONDIVO_TEST_MAIN_GUI(TestNodeComponents)
#include "tst_nodecomponents.moc"
