#pragma once

#include "model/Node.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

// The Cloud API's Node list and its changes, without a window: turning list entries into Nodes,
// checking an import, and the texts of the delete conversation.
namespace account {

inline constexpr char kNodesPath[] = "/api/cloud/nodes";

// A list reply succeeded only when an HTTP answer arrived with a status below 300 and carries a
// "nodes" array; anything else leaves the list as it was.
bool listLoadSucceeded(int status, const QJsonObject& reply);

// The "encryptedBlob" texts of the list entries, in order.
QStringList envelopeTexts(const QJsonArray& entries);

// The Nodes of a list reply: entries whose envelope did not open (opened[i] empty) or whose Node has
// no host are left out; the entry's "id" and non-blank "displayName" take over; a Node still without a
// non-blank display name is shown by its server name.
QList<Node> nodesFromEntries(const QJsonArray& entries, const QList<std::optional<Node>>& opened);

// The Node an import form describes (display name set), or the warning to show.
std::variant<Node, QString> nodeFromImportForm(const QString& name, const QString& code);
QJsonObject uploadBody(const QString& displayName, const QString& envelope);
bool uploadSucceeded(int status);

QString nodePath(const QString& id, bool force);

// "确定删除节点 X ?" for one label, "确定删除选中的 N 个节点？" for several.
QString deleteConfirmation(const QStringList& labels);

// A refusal because live rooms are still bound to the Node.
bool isNodeInUse(int status, const QJsonObject& reply);
// The question that offers the forced deletion, naming the rooms the reply lists.
QString nodeInUseQuestion(const QString& label, const QJsonObject& reply);

QString cancelledDeletionLine(const QString& label);
// The line for a deletion that failed, or nothing when it succeeded.
std::optional<QString> deletionFailureLine(const QString& label, int status, const QJsonObject& reply);
QString deletionFailureMessage(const QStringList& lines);

// "已登录 <account>    云端节点: <count>"
QString statusLine(const QString& account, int nodeCount);
// "已登录 <account>", before the first list load.
QString signedInLine(const QString& account);

} // namespace account
