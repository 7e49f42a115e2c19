#include "mainwindow/NodeComponents.h"

#include "mainwindow/MainWindowTiming.h"
#include "mainwindow/NodesPage.h"
#include "net/RequestLayer.h"
#include "releases/ChangelogDialog.h"
#include "releases/ReleaseManifests.h"
#include "shell/Shell.h"
#include "ui/Dialogs.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace {

const QString kPost = QStringLiteral("POST");
const QString kGet = QStringLiteral("GET");
const QString kStatusPath = QStringLiteral("/status");

void waitInEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

NodeComponents::NodeComponents(shell::Shell& shell, NodesPage& page) : shell_(shell), page_(page) {
}

void NodeComponents::runMediaMtxAction(const QString& path, const QString& title) {
    runEngineAction(nodes::Engine::MediaMtx, path, title);
}

void NodeComponents::runGostAction(const QString& path, const QString& title) {
    runEngineAction(nodes::Engine::Gost, path, title);
}

void NodeComponents::runFfmpegAction(const QString& path, const QString& title) {
    runEngineAction(nodes::Engine::Ffmpeg, path, title);
}

QList<fleet::NodeRef> NodeComponents::selectedNodesOrNotice() {
    const QList<fleet::NodeRef> targets = fleet::snapshotRows(shell_.nodes(), page_.selectedNodeRows());
    if (targets.isEmpty())
        ui::information(shell_.dialogParent(), QStringLiteral("请先选择节点。"));
    return targets;
}

int NodeComponents::rowNow(const fleet::NodeRef& target) const {
    return fleet::currentRow(shell_.nodes(), target.id);
}

void NodeComponents::runEngineAction(nodes::Engine engine, const QString& path, const QString& title) {
    const QList<fleet::NodeRef> targets = selectedNodesOrNotice();
    if (targets.isEmpty())
        return;
    const QString question = nodes::engineConfirmationText(engine, path, int(targets.size()));
    if (!question.isEmpty() && !ui::question(shell_.dialogParent(), question))
        return;

    const int column = nodes::engineColumn(engine);
    shell_.setBusy(title + QStringLiteral("..."), true);
    const fleet::BatchReport report = fleet::runBatch(targets, [&](const fleet::NodeRef& target) {
        shell_.setBusyText(title + QStringLiteral("：") + nodeLabel(target.node));
        page_.setCellText(rowNow(target), column, QStringLiteral("处理中"));
        int status = 0;
        const QJsonObject reply = net::agentRequestLong(target.node, kPost, path, QJsonObject(), &status);
        if (nodes::replySucceeded(status, reply)) {
            page_.setCellText(rowNow(target), column,
                              engine == nodes::Engine::MediaMtx ? nodes::mediaMtxText(reply)
                                                                : nodes::engineText(reply));
            return fleet::StepOutcome::success();
        }
        page_.setCellText(rowNow(target), column, QStringLiteral("失败"));
        return fleet::StepOutcome::failure(nodes::failureReason(status, reply));
    });
    shell_.setBusy(title + QStringLiteral("完成"), false);

    page_.refreshNodeStatuses();
    shell_.engineActionDone(engine);
    if (report.failures() > 0)
        ui::warning(shell_.dialogParent(), fleet::batchSummary(title, report));
}

void NodeComponents::checkAgentVersions() {
    const QList<fleet::NodeRef> targets = selectedNodesOrNotice();
    if (targets.isEmpty())
        return;
    shell_.manifests().fetchAgentManifest();

    shell_.setBusy(QStringLiteral("正在检测版本..."), true);
    const fleet::BatchReport report = fleet::runBatch(
        targets, [this](const fleet::NodeRef& target) { return checkAgentVersion(target); }, false);
    shell_.setBusy(QStringLiteral("版本检测完成"), false);
    const nodes::BatchTally tally{report.successes(), report.failureLines()};
    shell_.setStatusText(nodes::versionCheckStatusLine(tally));
    const QString warning = nodes::versionCheckWarning(tally);
    if (!warning.isEmpty())
        ui::warning(shell_.dialogParent(), warning);
}

fleet::StepOutcome NodeComponents::checkAgentVersion(const fleet::NodeRef& target) {
    shell_.setBusyText(QStringLiteral("检测版本：") + nodeLabel(target.node));
    if (!target.node.hasAgentEndpoint()) {
        page_.setNodeRow(rowNow(target), nodes::unconnectedRow());
        return fleet::StepOutcome::failure(QString::fromUtf8(nodes::kMissingAgentReason));
    }
    int status = 0;
    const QJsonObject reply = net::agentRequest(target.node, kGet, kStatusPath, QJsonObject(), &status);
    if (nodes::replySucceeded(status, reply)) {
        page_.setNodeRow(rowNow(target), nodes::rowFromStatus(reply));
        return fleet::StepOutcome::success();
    }
    page_.setNodeRow(rowNow(target), nodes::offlineRow());
    return fleet::StepOutcome::failure(nodes::versionCheckFailureReason(status, reply));
}

void NodeComponents::updateSelectedAgents() {
    const QList<fleet::NodeRef> targets = selectedNodesOrNotice();
    if (targets.isEmpty())
        return;
    const releases::Changelog changelog = shell_.manifests().agentChangelog();
    const QString latest = shell_.manifests().latestAgentVersion();
    if (!confirmChangelog(shell_.dialogParent(), changelog))
        return;

    const fleet::BatchReport report = fleet::runBatch(
        targets, [this, &latest](const fleet::NodeRef& target) { return updateAgent(target, latest); });
    const nodes::SummaryBox summary = nodes::agentUpdateSummary({report.successes(), report.failureLines()});
    if (summary.warning)
        ui::warning(shell_.dialogParent(), summary.text);
    else
        ui::information(shell_.dialogParent(), summary.text);
    QPointer<NodesPage> page(&page_);
    QTimer::singleShot(mainwindow::timing::afterUpdateRefreshMs, &page_, [page] {
        if (page)
            page->refreshNodeStatuses();
    });
}

fleet::StepOutcome NodeComponents::updateAgent(const fleet::NodeRef& target, const QString& latest) {
    const Node& node = target.node;
    page_.setCellText(rowNow(target), nodes::kAgentColumn, QStringLiteral("更新中"));
    shell_.setBusy(QStringLiteral("正在更新 ") + nodeLabel(node) + QStringLiteral(" ..."), true);
    int status = 0;
    QJsonObject reply =
        net::agentRequestLong(node, kPost, QStringLiteral("/agent/update"), QJsonObject(), &status);
    if (nodes::needsInstallScriptFallback(status, reply)) {
        const QJsonObject execReply = net::agentRequestLong(node, kPost, QStringLiteral("/exec"),
                                                        nodes::installScriptRequestBody(), &status);
        reply = nodes::updateReplyFromExec(status, execReply);
    }

    bool updated = nodes::replySucceeded(status, reply);
    QString cell = QStringLiteral("重启中");
    // A refused or broken update may still have gone through: the Agent restarts and comes back at the
    // new version. The overlay stays up meanwhile so no second batch can start under the polls.
    if (!updated && !latest.isEmpty() && waitForAgentVersion(node, latest)) {
        updated = true;
        cell = latest;
    }
    shell_.setBusy(QStringLiteral("Agent 更新请求完成"), false);
    if (!updated)
        cell = QStringLiteral("失败");
    page_.setCellText(rowNow(target), nodes::kAgentColumn, cell);
    return updated ? fleet::StepOutcome::success()
                   : fleet::StepOutcome::failure(nodes::failureReason(status, reply));
}

bool NodeComponents::waitForAgentVersion(const Node& node, const QString& latest) {
    for (int attempt = 0; attempt < nodes::kRestartPollTries; ++attempt) {
        waitInEventLoop(attempt == 0 ? mainwindow::timing::restartFirstWaitMs : mainwindow::timing::restartNextWaitMs);
        int status = 0;
        const QJsonObject reply = net::agentRequest(node, kGet, kStatusPath, QJsonObject(), &status);
        if (nodes::replySucceeded(status, reply) && nodes::agentAtVersion(reply, latest))
            return true;
    }
    return false;
}
