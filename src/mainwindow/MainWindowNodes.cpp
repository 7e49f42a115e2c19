// The main window's cloud Node store: loading the list, importing a Node, deleting Nodes.
#include "mainwindow/MainWindow.h"

#include "crypto/NodeEnvelope.h"
#include "mainwindow/CloudNodeRules.h"
#include "mainwindow/ImportNodeDialog.h"
#include "mainwindow/NodesPage.h"
#include "net/RequestLayer.h"
#include "ui/Dialogs.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QPlainTextEdit>

void MainWindow::loadCloudNodes(bool showBusy) {
    if (loadingNodes_)
        return;
    loadingNodes_ = true;
    if (showBusy)
        setBusy(QStringLiteral("加载节点..."), true);

    int status = 0;
    const QJsonObject reply = net::cloudRequest(
        QStringLiteral("GET"), QString::fromLatin1(cloudnodes::kNodesPath), {}, true, &status);
    QList<Node> loaded;
    const bool succeeded = cloudnodes::listLoadSucceeded(status, reply);
    if (succeeded) {
        // Opening derives one key per envelope; it stays under the busy state and the in-flight flag so
        // that a second load cannot interleave with it.
        const QJsonArray entries = reply.value(QLatin1String("nodes")).toArray();
        loaded = cloudnodes::nodesFromEntries(entries, crypto::openNodes(cloudnodes::envelopeTexts(entries)));
    }

    loadingNodes_ = false;
    if (showBusy)
        setBusy(QStringLiteral("节点加载完成"), false);
    lastLoadSucceeded_ = succeeded;
    if (!succeeded) {
        ui::warning(this, QStringLiteral("加载云端节点失败"));
        return;
    }
    nodes_ = loaded;
    refreshAfterLoad();
}

void MainWindow::refreshAfterLoad() {
    if (nodesPage_)
        nodesPage_->fillNodeRows();
    updateStatusLine();
    for (QComboBox* combo : nodeFilters_)
        rebuildNodeFilter(combo, nodes_);
}

void MainWindow::importNode() {
    ImportNodeDialog dialog(this);
    if (ui::execDialog(dialog) != QDialog::Accepted)
        return;
    const auto checked =
        cloudnodes::nodeFromImportForm(dialog.nameEdit()->text(), dialog.codeEdit()->toPlainText());
    if (const QString* problem = std::get_if<QString>(&checked)) {
        ui::warning(this, *problem);
        return;
    }
    const Node& node = std::get<Node>(checked);
    const QString envelope = crypto::sealNode(node);
    if (envelope.isEmpty()) {
        ui::warning(this, QStringLiteral("节点加密失败。"));
        return;
    }
    int status = 0;
    net::cloudRequest(QStringLiteral("POST"), QString::fromLatin1(cloudnodes::kNodesPath),
                      cloudnodes::uploadBody(node.displayName, envelope), true, &status);
    if (!cloudnodes::uploadSucceeded(status)) {
        ui::warning(this, QStringLiteral("上传节点失败。"));
        return;
    }
    loadCloudNodes(true);
}

void MainWindow::deleteSelectedNodes() {
    if (!nodesPage_)
        return;
    // Copies: the requests below wait in nested event loops, and the records must outlive any reload.
    QList<Node> selected;
    for (int row : nodesPage_->selectedNodeRows()) {
        if (row >= 0 && row < nodes_.size())
            selected.append(nodes_[row]);
    }
    if (selected.isEmpty())
        return;
    QStringList labels;
    for (const Node& node : selected)
        labels << nodeLabel(node);
    if (!ui::question(this, cloudnodes::deleteConfirmation(labels)))
        return;

    setBusy(QStringLiteral("删除节点..."), true);
    QStringList failures;
    for (const Node& node : selected)
        deleteOneNode(node, failures);
    setBusy(QStringLiteral("节点删除完成"), false);

    if (!failures.isEmpty())
        ui::warning(this, cloudnodes::deletionFailureMessage(failures));
    loadCloudNodes(true);
}

bool MainWindow::deleteOneNode(const Node& node, QStringList& failures) {
    const QString label = nodeLabel(node);
    int status = 0;
    QJsonObject reply =
        net::cloudRequest(QStringLiteral("DELETE"), cloudnodes::nodePath(node.id, false), {}, true, &status);
    if (cloudnodes::isNodeInUse(status, reply)) {
        if (!ui::question(this, cloudnodes::nodeInUseQuestion(label, reply))) {
            failures << cloudnodes::cancelledDeletionLine(label);
            return false;
        }
        reply = net::cloudRequest(QStringLiteral("DELETE"), cloudnodes::nodePath(node.id, true), {}, true,
                                  &status);
    }
    if (const auto line = cloudnodes::deletionFailureLine(label, status, reply)) {
        failures << *line;
        return false;
    }
    return true;
}
