#pragma once

#include "fleet/NodeBatch.h"
#include "mainwindow/NodeComponentRules.h"
#include "model/Node.h"

#include <QJsonObject>
#include <functional>
#include <map>

namespace shell {
class Shell;
}
class NodeRows;
class QObject;

// Maintenance of the selected Nodes: engine actions, the version check and the Agent update. Each is a
// batch that works through the Nodes one after another with blocking Agent requests behind the busy
// overlay, shows progress in the rows it is given and ends with one summary. Rows are found again by
// Node id after every request: a Node list reload during the wait may have moved them.
class NodeMaintenance {
public:
    // owner lives as long as rows; the refresh that follows an Agent update is dropped with it.
    NodeMaintenance(shell::Shell& shell, NodeRows& rows, QObject& owner);

    void runMediaMtxAction(const QString& path, const QString& title);
    void runGostAction(const QString& path, const QString& title);
    void runFfmpegAction(const QString& path, const QString& title);
    void checkAgentVersions();
    void updateSelectedAgents();

private:
    // Copies of the selected Nodes; with none selected, tells the user to select and gives none.
    QList<fleet::NodeRef> selectedNodesOrNotice();
    void runEngineAction(mainwindow::Engine engine, const QString& path, const QString& title);
    fleet::StepOutcome checkAgentVersion(const fleet::NodeRef& target);
    // One Node's Agent update: accepted, or the Node came back at `latest`.
    fleet::StepOutcome updateAgent(const fleet::NodeRef& target, const QString& latest);
    bool waitForAgentVersion(const Node& node, const QString& latest);
    // The row where the Node stands now (it may have moved with a reload), or -1.
    int rowNow(const fleet::NodeRef& target) const;

    shell::Shell& shell_;
    NodeRows& rows_;
    QObject& owner_;
};
