#include "mainwindow/NodeMaintenance.h"

#include "mainwindow/MainWindowTiming.h"
#include "mainwindow/NodeRows.h"
#include "net/RequestResult.h"
#include "releases/ChangelogDialog.h"
#include "releases/ReleaseManifests.h"
#include "shell/BusyScope.h"
#include "shell/Shell.h"
#include "ui/Dialogs.h"

#include <QEventLoop>
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

NodeMaintenance::NodeMaintenance(shell::Shell& shell, NodeRows& rows, QObject& owner)
    : shell_(shell), rows_(rows), owner_(owner) {
}

void NodeMaintenance::runMediaMtxAction(const QString& path, const QString& title) {
    runEngineAction(mainwindow::Engine::MediaMtx, path, title);
}

void NodeMaintenance::runGostAction(const QString& path, const QString& title) {
    runEngineAction(mainwindow::Engine::Gost, path, title);
}

void NodeMaintenance::runFfmpegAction(const QString& path, const QString& title) {
    runEngineAction(mainwindow::Engine::Ffmpeg, path, title);
}

QList<fleet::NodeRef> NodeMaintenance::selectedNodesOrNotice() {
    const QList<fleet::NodeRef> targets = fleet::snapshotRows(shell_.nodes(), rows_.selectedNodeRows());
    if (targets.isEmpty())
        ui::information(shell_.dialogParent(), QStringLiteral("请先选择节点。"));
    return targets;
}

int NodeMaintenance::rowNow(const fleet::NodeRef& target) const {
    return fleet::currentRow(shell_.nodes(), target.id);
}

void NodeMaintenance::runEngineAction(mainwindow::Engine engine, const QString& path, const QString& title) {
    const QList<fleet::NodeRef> targets = selectedNodesOrNotice();
    if (targets.isEmpty())
        return;
    const QString question = mainwindow::engineConfirmationText(engine, path, int(targets.size()));
    if (!question.isEmpty() && !ui::question(shell_.dialogParent(), question))
        return;

    const int column = mainwindow::engineColumn(engine);
    fleet::BatchReport report;
    {
        shell::BusyScope busy(shell_, title + QStringLiteral("..."), title + QStringLiteral("完成"));
        report = fleet::runBatch(targets, [&](const fleet::NodeRef& target) {
            shell_.setBusyText(title + QStringLiteral("：") + nodeLabel(target.node));
            rows_.nodeChanging(target.id);
            rows_.setCellText(rowNow(target), column, QStringLiteral("处理中"));
            const net::RequestResult result = net::agentCallLong(target.node, kPost, path);
            if (!result.failed()) {
                rows_.setCellText(rowNow(target), column,
                                  engine == mainwindow::Engine::MediaMtx
                                      ? mainwindow::mediaMtxText(result.reply)
                                      : mainwindow::engineText(result.reply));
                return fleet::StepOutcome::success();
            }
            rows_.setCellText(rowNow(target), column, QStringLiteral("失败"));
            return fleet::StepOutcome::failure(result.text());
        });
    }

    rows_.refreshNodeStatuses();
    shell_.engineActionDone(engine);
    if (report.failures() > 0)
        ui::warning(shell_.dialogParent(), fleet::batchSummary(title, report));
}

void NodeMaintenance::checkAgentVersions() {
    const QList<fleet::NodeRef> targets = selectedNodesOrNotice();
    if (targets.isEmpty())
        return;
    shell_.manifests().fetchAgentManifest();

    fleet::BatchReport report;
    {
        shell::BusyScope busy(shell_, QStringLiteral("正在检测版本..."), QStringLiteral("版本检测完成"));
        report = fleet::runBatch(
            targets, [this](const fleet::NodeRef& target) { return checkAgentVersion(target); }, false);
    }
    const mainwindow::BatchTally tally{report.successes(), report.failureLines()};
    shell_.setStatusText(mainwindow::versionCheckStatusLine(tally));
    const QString warning = mainwindow::versionCheckWarning(tally);
    if (!warning.isEmpty())
        ui::warning(shell_.dialogParent(), warning);
}

fleet::StepOutcome NodeMaintenance::checkAgentVersion(const fleet::NodeRef& target) {
    shell_.setBusyText(QStringLiteral("检测版本：") + nodeLabel(target.node));
    if (!target.node.hasAgentEndpoint()) {
        rows_.setNodeRow(rowNow(target), mainwindow::unconnectedRow());
        return fleet::StepOutcome::failure(QString::fromUtf8(mainwindow::kMissingAgentReason));
    }
    const net::RequestResult result = net::agentCall(target.node, kGet, kStatusPath);
    if (!result.failed()) {
        rows_.setNodeRow(rowNow(target), mainwindow::rowFromStatus(result.reply));
        return fleet::StepOutcome::success();
    }
    rows_.setNodeRow(rowNow(target), mainwindow::offlineRow());
    return fleet::StepOutcome::failure(mainwindow::versionCheckFailureReason(result.status, result.reply));
}

void NodeMaintenance::updateSelectedAgents() {
    const QList<fleet::NodeRef> targets = selectedNodesOrNotice();
    if (targets.isEmpty())
        return;
    const releases::Changelog changelog = shell_.manifests().agentChangelog();
    const QString latest = shell_.manifests().latestAgentVersion();
    if (!confirmChangelog(shell_.dialogParent(), changelog))
        return;

    const fleet::BatchReport report = fleet::runBatch(
        targets, [this, &latest](const fleet::NodeRef& target) { return updateAgent(target, latest); });
    const mainwindow::SummaryBox summary =
        mainwindow::agentUpdateSummary({report.successes(), report.failureLines()});
    if (summary.warning)
        ui::warning(shell_.dialogParent(), summary.text);
    else
        ui::information(shell_.dialogParent(), summary.text);
    QTimer::singleShot(mainwindow::timing.afterUpdateRefreshMs, &owner_,
                       [rows = &rows_] { rows->refreshNodeStatuses(); });
}

fleet::StepOutcome NodeMaintenance::updateAgent(const fleet::NodeRef& target, const QString& latest) {
    const Node& node = target.node;
    rows_.nodeChanging(target.id);
    rows_.setCellText(rowNow(target), mainwindow::kAgentColumn, QStringLiteral("更新中"));
    net::RequestResult result;
    bool updated = false;
    QString cell = QStringLiteral("重启中");
    {
        shell::BusyScope busy(shell_, QStringLiteral("正在更新 ") + nodeLabel(node) + QStringLiteral(" ..."),
                              QStringLiteral("Agent 更新请求完成"));
        result = net::agentCallLong(node, kPost, QStringLiteral("/agent/update"));
        if (mainwindow::needsInstallScriptFallback(result.status, result.reply)) {
            const net::RequestResult exec = net::agentCallLong(node, kPost, QStringLiteral("/exec"),
                                                               mainwindow::installScriptRequestBody());
            result = {exec.status, mainwindow::updateReplyFromExec(exec.status, exec.reply)};
        }
        updated = !result.failed();
        // A refused or broken update may still have gone through: the Agent restarts and comes back at
        // the new version. The overlay stays up meanwhile so no second batch can start under the polls.
        if (!updated && !latest.isEmpty() && waitForAgentVersion(node, latest)) {
            updated = true;
            cell = latest;
        }
    }
    if (!updated)
        cell = QStringLiteral("失败");
    rows_.setCellText(rowNow(target), mainwindow::kAgentColumn, cell);
    return updated ? fleet::StepOutcome::success() : fleet::StepOutcome::failure(result.text());
}

bool NodeMaintenance::waitForAgentVersion(const Node& node, const QString& latest) {
    for (int attempt = 0; attempt < mainwindow::kRestartPollTries; ++attempt) {
        waitInEventLoop(attempt == 0 ? mainwindow::timing.restartFirstWaitMs
                                     : mainwindow::timing.restartNextWaitMs);
        const net::RequestResult result = net::agentCall(node, kGet, kStatusPath);
        if (!result.failed() && mainwindow::agentAtVersion(result.reply, latest))
            return true;
    }
    return false;
}
