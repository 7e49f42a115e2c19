#include "account/CloudNodeStore.h"

#include "account/CloudNodeRules.h"
#include "account/ImportNodeDialog.h"
#include "crypto/NodeEnvelope.h"
#include "net/RequestLayer.h"
#include "shell/BusyScope.h"
#include "shell/Shell.h"
#include "ui/Dialogs.h"

#include <QJsonArray>
#include <QLineEdit>
#include <QPlainTextEdit>

CloudNodeStore::CloudNodeStore(shell::Shell& shell) : shell_(shell) {
}

void CloudNodeStore::load(bool showBusy) {
    if (loading_)
        return;
    loading_ = true;
    if (showBusy)
        shell_.setBusy(QStringLiteral("加载节点..."), true);

    int status = 0;
    const QJsonObject reply =
        net::cloudRequest(QStringLiteral("GET"), QString::fromLatin1(account::kNodesPath), {}, true, &status);
    QList<Node> loaded;
    const bool succeeded = account::listLoadSucceeded(status, reply);
    if (succeeded) {
        // Opening derives one key per envelope; it stays under the busy state and the in-flight flag so
        // that a second load cannot interleave with it.
        const QJsonArray entries = reply.value(QLatin1String("nodes")).toArray();
        loaded = account::nodesFromEntries(entries, crypto::openNodes(account::envelopeTexts(entries)));
    }

    loading_ = false;
    if (showBusy)
        shell_.setBusy(QStringLiteral("节点加载完成"), false);
    lastLoadSucceeded_ = succeeded;
    if (!succeeded) {
        ui::warning(shell_.dialogParent(), QStringLiteral("加载云端节点失败"));
        return;
    }
    nodes_ = loaded;
    if (afterLoad_)
        afterLoad_();
}

void CloudNodeStore::importNode() {
    ImportNodeDialog dialog(shell_.dialogParent());
    if (ui::execDialog(dialog) != QDialog::Accepted)
        return;
    const auto checked =
        account::nodeFromImportForm(dialog.nameEdit()->text(), dialog.codeEdit()->toPlainText());
    if (const QString* problem = std::get_if<QString>(&checked)) {
        ui::warning(shell_.dialogParent(), *problem);
        return;
    }
    const Node& node = std::get<Node>(checked);
    const QString envelope = crypto::sealNode(node);
    if (envelope.isEmpty()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("节点加密失败。"));
        return;
    }
    int status = 0;
    net::cloudRequest(QStringLiteral("POST"), QString::fromLatin1(account::kNodesPath),
                      account::uploadBody(node.displayName, envelope), true, &status);
    if (!account::uploadSucceeded(status)) {
        ui::warning(shell_.dialogParent(), QStringLiteral("上传节点失败。"));
        return;
    }
    load(true);
}

void CloudNodeStore::deleteNodes(const QList<Node>& selected) {
    if (selected.isEmpty())
        return;
    QStringList labels;
    for (const Node& node : selected)
        labels << nodeLabel(node);
    if (!ui::question(shell_.dialogParent(), account::deleteConfirmation(labels)))
        return;

    QStringList failures;
    {
        shell::BusyScope busy(shell_, QStringLiteral("删除节点..."), QStringLiteral("节点删除完成"));
        for (const Node& node : selected)
            deleteOneNode(node, failures);
    }

    if (!failures.isEmpty())
        ui::warning(shell_.dialogParent(), account::deletionFailureMessage(failures));
    load(true);
}

bool CloudNodeStore::deleteOneNode(const Node& node, QStringList& failures) {
    const QString label = nodeLabel(node);
    int status = 0;
    QJsonObject reply =
        net::cloudRequest(QStringLiteral("DELETE"), account::nodePath(node.id, false), {}, true, &status);
    if (account::isNodeInUse(status, reply)) {
        if (!ui::question(shell_.dialogParent(), account::nodeInUseQuestion(label, reply))) {
            failures << account::cancelledDeletionLine(label);
            return false;
        }
        reply =
            net::cloudRequest(QStringLiteral("DELETE"), account::nodePath(node.id, true), {}, true, &status);
    }
    if (const auto line = account::deletionFailureLine(label, status, reply)) {
        failures << *line;
        return false;
    }
    return true;
}

void CloudNodeStore::setLastAgentVersion(const QString& nodeId, const QString& version) {
    for (Node& node : nodes_) {
        if (node.id == nodeId)
            node.lastAgentVersion = version;
    }
}
