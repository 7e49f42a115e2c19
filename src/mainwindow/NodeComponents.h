#pragma once

#include "mainwindow/NodeComponentRules.h"
#include "model/Node.h"

#include <QJsonObject>
#include <functional>
#include <map>

class MainWindow;
class NodesPage;

// Maintenance of the selected Nodes: engine actions, the version check and the Agent update. Each is a
// batch that works through the Nodes one after another with blocking Agent requests behind the busy
// overlay, shows progress in the nodes table and ends with one summary.
class NodeComponents {
public:
    NodeComponents(MainWindow& window, NodesPage& page);

    void runMediaMtxAction(const QString& path, const QString& title);
    void runGostAction(const QString& path, const QString& title);
    void runFfmpegAction(const QString& path, const QString& title);
    void checkAgentVersions();
    void updateSelectedAgents();

    // What an engine action refreshes besides the node statuses (the RTMP rooms after MediaMTX, the
    // proxies and bridges after GOST); the pages that own those lists plug themselves in here.
    void setEngineFollowUp(nodes::Engine engine, std::function<void()> followUp);

private:
    // The selected rows; with none selected, tells the user to select and gives an empty list.
    QList<int> selectedRowsOrNotice();
    void runEngineAction(nodes::Engine engine, const QString& path, const QString& title);
    // One Node's Agent update; returns true when it was accepted or the Node came back at `latest`.
    bool updateAgent(const Node& node, int row, const QString& latest, QString* reason);
    bool waitForAgentVersion(const Node& node, const QString& latest);

    MainWindow& window_;
    NodesPage& page_;
    std::map<nodes::Engine, std::function<void()>> followUps_;
};

// Fetches the Agent release manifest; when a new one is kept, column 3 of the nodes table is rewritten.
bool fetchAgentManifest(MainWindow& window);
// The Agent change log: the manifest's, else the Cloud API's, else an empty log with the default title.
nodes::Changelog loadAgentChangelog(MainWindow& window);
