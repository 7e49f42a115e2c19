#include "mainwindow/NodeComponents.h"

#include "app/AppConstants.h"
#include "mainwindow/ChangelogDialog.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/NodeTiming.h"
#include "mainwindow/NodesPage.h"
#include "net/RequestLayer.h"
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

// The Node of a row as it is now, or nothing when the row has gone with a reload.
const Node* nodeAt(MainWindow& window, int row) {
    const QList<Node>& nodeList = window.nodes();
    return row >= 0 && row < nodeList.size() ? &nodeList[row] : nullptr;
}

} // namespace

NodeComponents::NodeComponents(MainWindow& window, NodesPage& page) : window_(window), page_(page) {
}

void NodeComponents::setEngineFollowUp(nodes::Engine engine, std::function<void()> followUp) {
    followUps_[engine] = std::move(followUp);
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

QList<int> NodeComponents::selectedRowsOrNotice() {
    const QList<int> rows = page_.selectedNodeRows();
    if (rows.isEmpty())
        ui::information(&window_, QStringLiteral("请先选择节点。"));
    return rows;
}

void NodeComponents::runEngineAction(nodes::Engine engine, const QString& path, const QString& title) {
    const QList<int> rows = selectedRowsOrNotice();
    if (rows.isEmpty())
        return;
    const QString question = nodes::engineConfirmationText(engine, path, int(rows.size()));
    if (!question.isEmpty() && !ui::question(&window_, question))
        return;

    const int column = nodes::engineColumn(engine);
    nodes::BatchTally tally;
    window_.setBusy(title + QStringLiteral("..."), true);
    for (int row : rows) {
        const Node* current = nodeAt(window_, row);
        if (!current)
            continue;
        const Node node = *current; // the list may be reloaded while the request waits
        const QString label = nodeLabel(node);
        if (!node.hasAgentEndpoint()) {
            tally.fail(label, QString::fromUtf8(nodes::kMissingAgentReason));
            continue;
        }
        window_.setBusyText(title + QStringLiteral("：") + label);
        page_.setCellText(row, column, QStringLiteral("处理中"));
        int status = 0;
        const QJsonObject reply = net::agentRequestLong(node, kPost, path, QJsonObject(), &status);
        if (nodes::replySucceeded(status, reply)) {
            ++tally.successes;
            page_.setCellText(row, column,
                              engine == nodes::Engine::MediaMtx ? nodes::mediaMtxText(reply)
                                                                : nodes::engineText(reply));
        } else {
            tally.fail(label, nodes::failureReason(status, reply));
            page_.setCellText(row, column, QStringLiteral("失败"));
        }
    }
    window_.setBusy(title + QStringLiteral("完成"), false);

    page_.refreshNodeStatuses();
    const auto followUp = followUps_.find(engine);
    if (followUp != followUps_.end() && followUp->second)
        followUp->second();
    const QString summary = nodes::engineBatchSummary(title, tally);
    if (!summary.isEmpty())
        ui::warning(&window_, summary);
}

void NodeComponents::checkAgentVersions() {
    const QList<int> rows = selectedRowsOrNotice();
    if (rows.isEmpty())
        return;
    fetchAgentManifest(window_);

    nodes::BatchTally tally;
    window_.setBusy(QStringLiteral("正在检测版本..."), true);
    for (int row : rows) {
        const Node* current = nodeAt(window_, row);
        if (!current)
            continue;
        const Node node = *current;
        const QString label = nodeLabel(node);
        window_.setBusyText(QStringLiteral("检测版本：") + label);
        if (!node.hasAgentEndpoint()) {
            page_.setNodeRow(row, nodes::unconnectedRow());
            tally.fail(label, QString::fromUtf8(nodes::kMissingAgentReason));
            continue;
        }
        int status = 0;
        const QJsonObject reply = net::agentRequest(node, kGet, kStatusPath, QJsonObject(), &status);
        if (nodes::replySucceeded(status, reply)) {
            ++tally.successes;
            page_.setNodeRow(row, nodes::rowFromStatus(reply));
        } else {
            page_.setNodeRow(row, nodes::offlineRow());
            tally.fail(label, nodes::versionCheckFailureReason(status, reply));
        }
    }
    window_.setBusy(QStringLiteral("版本检测完成"), false);
    window_.setStatusText(nodes::versionCheckStatusLine(tally));
    const QString warning = nodes::versionCheckWarning(tally);
    if (!warning.isEmpty())
        ui::warning(&window_, warning);
}

void NodeComponents::updateSelectedAgents() {
    const QList<int> rows = selectedRowsOrNotice();
    if (rows.isEmpty())
        return;
    const nodes::Changelog changelog = loadAgentChangelog(window_);
    const QString latest = window_.manifests().latestAgentVersion();
    if (!confirmChangelog(&window_, changelog))
        return;

    nodes::BatchTally tally;
    for (int row : rows) {
        const Node* current = nodeAt(window_, row);
        if (!current)
            continue;
        const Node node = *current;
        const QString label = nodeLabel(node);
        if (!node.hasAgentEndpoint()) {
            tally.fail(label, QString::fromUtf8(nodes::kMissingAgentReason));
            continue;
        }
        QString reason;
        if (updateAgent(node, row, latest, &reason))
            ++tally.successes;
        else
            tally.fail(label, reason);
    }

    const nodes::SummaryBox summary = nodes::agentUpdateSummary(tally);
    if (summary.warning)
        ui::warning(&window_, summary.text);
    else
        ui::information(&window_, summary.text);
    QPointer<NodesPage> page(&page_);
    QTimer::singleShot(nodes::timing::afterUpdateRefreshMs, &page_, [page] {
        if (page)
            page->refreshNodeStatuses();
    });
}

bool NodeComponents::updateAgent(const Node& node, int row, const QString& latest, QString* reason) {
    page_.setCellText(row, nodes::kAgentColumn, QStringLiteral("更新中"));
    window_.setBusy(QStringLiteral("正在更新 ") + nodeLabel(node) + QStringLiteral(" ..."), true);
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
    window_.setBusy(QStringLiteral("Agent 更新请求完成"), false);
    if (!updated) {
        *reason = nodes::failureReason(status, reply);
        cell = QStringLiteral("失败");
    }
    page_.setCellText(row, nodes::kAgentColumn, cell);
    return updated;
}

bool NodeComponents::waitForAgentVersion(const Node& node, const QString& latest) {
    for (int attempt = 0; attempt < nodes::timing::kRestartPollTries; ++attempt) {
        waitInEventLoop(attempt == 0 ? nodes::timing::restartFirstWaitMs : nodes::timing::restartNextWaitMs);
        int status = 0;
        const QJsonObject reply = net::agentRequest(node, kGet, kStatusPath, QJsonObject(), &status);
        if (nodes::replySucceeded(status, reply) && nodes::agentAtVersion(reply, latest))
            return true;
    }
    return false;
}

bool fetchAgentManifest(MainWindow& window) {
    if (!window.manifests().fetchAgentManifest())
        return false;
    if (NodesPage* page = window.nodesPage())
        page->rewriteAgentColumn();
    return true;
}

nodes::Changelog loadAgentChangelog(MainWindow& window) {
    if (!window.manifests().hasAgentManifest())
        fetchAgentManifest(window);
    QJsonObject changelog = window.manifests().agentManifest().value(QLatin1String("changelog")).toObject();
    if (changelog.isEmpty()) {
        int status = 0;
        const QJsonObject reply = net::cloudRequest(kGet, QString::fromLatin1(app::kAgentChangelogPath),
                                                    QJsonObject(), true, &status);
        if (status >= 200 && status < 300)
            changelog = reply;
    }
    return nodes::parseChangelog(changelog, QString::fromUtf8(nodes::kAgentChangelogTitle));
}
