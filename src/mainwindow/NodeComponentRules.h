#pragma once

#include "fleet/Engine.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// Rules of the batch maintenance actions on Nodes (engines, version check, Agent update): confirmation
// questions, the install-script fallback and every summary text (a reply counts by net::RequestResult).
namespace mainwindow {

using Engine = fleet::Engine;

QString engineDisplayName(Engine engine);
int engineColumn(Engine engine);

// The question asked before an engine action on `count` Nodes; empty when the action asks nothing.
QString engineConfirmationText(Engine engine, const QString& path, int count);

QString failureLine(const QString& label, const QString& reason);
inline constexpr char kMissingAgentReason[] = "缺少 Agent API 信息";
// How often a restarting Agent's status is asked before the update counts as failed.
inline constexpr int kRestartPollTries = 8;

// Tallies one batch: successes and the failure lines in the order they happened.
struct BatchTally {
    int successes = 0;
    QStringList failures;
    void fail(const QString& label, const QString& reason) { failures << failureLine(label, reason); }
};

// "<title>完成：成功 a，失败 b\n\n<lines>", or empty when nothing failed (no box then).
QString engineBatchSummary(const QString& title, const BatchTally& tally);
// The version check: its status line and, with failures, the warning text.
QString versionCheckStatusLine(const BatchTally& tally);
QString versionCheckWarning(const BatchTally& tally);
// A failed version check: the reply's error, else "离线" without an answer, else "HTTP n".
QString versionCheckFailureReason(int status, const QJsonObject& reply);

// Agent update: an Agent too old to update itself answers 404 or an "... not found" error.
bool needsInstallScriptFallback(int status, const QJsonObject& reply);
QString installScriptCommand();
QJsonObject installScriptRequestBody();
// Turns the "/exec" reply into the update reply it replaces: accepted replies carry no "error".
QJsonObject updateReplyFromExec(int status, const QJsonObject& execReply);
// Whether a status reply shows the Agent at the latest version.
bool agentAtVersion(const QJsonObject& status, const QString& latest);
// The summary box of an Agent update batch: a warning with failures, else an information.
struct SummaryBox {
    bool warning = false;
    QString text;
};
SummaryBox agentUpdateSummary(const BatchTally& tally);

} // namespace mainwindow
