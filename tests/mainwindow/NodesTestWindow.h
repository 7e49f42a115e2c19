#pragma once

#include "FakeShell.h"
#include "RecordingServer.h"

#include "app/AppConstants.h"
#include "mainwindow/NodesPage.h"
#include "mainwindow/NodesPages.h"
#include "model/SignInState.h"
#include "ui/Dialogs.h"
#include "widgets/PercentTableWidget.h"
#include "widgets/UsageBarRules.h"

#include <QTest>
#include <memory>

namespace testsupport {

// The nodes page alone on a fake shell, signed in, with a recording server as Cloud API (for the
// manifests and change logs the Node actions fetch).
struct NodesTestWindow {
    std::unique_ptr<RecordingServer> cloud;
    std::unique_ptr<FakeShell> window;
    NodesPage* nodesPage = nullptr;
    shell::PageHooks hooks;

    bool open() {
        ui::testing::reset();
        ui::testing::setScripted(true);
        cloud = std::make_unique<RecordingServer>();
        cloud->setDefaultReply(RecordingServer::json(200, R"({"nodes": []})"));
        qputenv(app::kCloudApiUrlVariable, cloud->baseUrl().toUtf8());
        signInState() = {QStringLiteral("alice"), QStringLiteral("pw"), QStringLiteral("tok")};
        window = std::make_unique<FakeShell>();
        const shell::PageParts parts = mainwindow::createNodesPage(*window);
        nodesPage = static_cast<NodesPage*>(parts.widget);
        hooks = parts.hooks;
        window->host(nodesPage);
        return true;
    }

    void setNodes(const QList<Node>& nodes) { window->setNodes(nodes); }

    NodesPage* page() const { return nodesPage; }
    PercentTableWidget* table() const {
        return page()->findChild<PercentTableWidget*>(QStringLiteral("nodesTable"));
    }
    QString cell(int row, int column) const {
        const QTableWidgetItem* item = table()->item(row, column);
        return item ? item->text() : QString();
    }
};

inline Node agentNode(const QString& id, const QString& displayName, quint16 port,
                      const QString& token = QStringLiteral("agent-token")) {
    Node node;
    node.id = id;
    node.displayName = displayName;
    node.name = displayName.isEmpty() ? id : displayName + QStringLiteral("-srv");
    node.host = QStringLiteral("10.0.0.") + id.right(1);
    node.agentApi.host = QStringLiteral("127.0.0.1");
    node.agentApi.port = port;
    node.agentApi.token = token;
    return node;
}

} // namespace testsupport
