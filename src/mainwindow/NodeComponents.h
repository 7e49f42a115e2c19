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
class NodesPage;

// Maintenance of the selected Nodes: engine actions, the version check and the Agent update. Each is a
// batch that works through the Nodes one after another with blocking Agent requests behind the busy
// overlay, shows progress in the nodes table and ends with one summary.
class NodeComponents {
public:
    NodeComponents(shell::Shell& shell, NodesPage& page);

    void runMediaMtxAction(const QString& path, const QString& title);
    void runGostAction(const QString& path, const QString& title);
    void runFfmpegAction(const QString& path, const QString& title);
    void checkAgentVersions();
    void updateSelectedAgents();

private:
    // Copies of the selected Nodes; with none selected, tells the user to select and gives none.
    QList<fleet::NodeRef> selectedNodesOrNotice();
    void runEngineAction(nodes::Engine engine, const QString& path, const QString& title);
    fleet::StepOutcome checkAgentVersion(const fleet::NodeRef& target);
    // One Node's Agent update: accepted, or the Node came back at `latest`.
    fleet::StepOutcome updateAgent(const fleet::NodeRef& target, const QString& latest);
    bool waitForAgentVersion(const Node& node, const QString& latest);
    // The row where the Node stands now (it may have moved with a reload), or -1.
    int rowNow(const fleet::NodeRef& target) const;

    shell::Shell& shell_;
    NodesPage& page_;
};
