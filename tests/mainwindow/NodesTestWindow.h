#pragma once

#include "RecordingServer.h"

#include "app/AppConstants.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/NodesPage.h"
#include "mainwindow/PercentTableWidget.h"
#include "net/SignInState.h"
#include "settings/SettingsTiming.h"
#include "ui/Dialogs.h"

#include <QTest>
#include <memory>

namespace testsupport {

// A signed-in main window whose Cloud API is a recording server that answers an empty Node list, so
// the start-up load finishes at once and the test sets the Nodes it needs.
struct NodesTestWindow {
    std::unique_ptr<RecordingServer> cloud;
    std::unique_ptr<MainWindow> window;

    bool open() {
        ui::testing::reset();
        ui::testing::setScripted(true);
        // Keep the version label's own manifest fetch out of the requests these tests count.
        settingspage::timing::versionCheckDelayMs = 600000;
        cloud = std::make_unique<RecordingServer>();
        cloud->setDefaultReply(RecordingServer::json(200, R"({"nodes": []})"));
        qputenv(app::kCloudApiUrlVariable, cloud->baseUrl().toUtf8());
        signInState() = {QStringLiteral("alice"), QStringLiteral("pw"), QStringLiteral("tok")};
        window = std::make_unique<MainWindow>();
        const bool loaded = QTest::qWaitFor([this] {
            for (const auto& request : cloud->requests()) {
                if (request.path.startsWith("/api/cloud/nodes"))
                    return window->busyCount() == 0;
            }
            return false;
        });
        cloud->clear();
        return loaded;
    }

    void setNodes(const QList<Node>& nodes) {
        window->nodes() = nodes;
        page()->fillNodeRows();
    }

    NodesPage* page() const { return window->nodesPage(); }
    PercentTableWidget* table() const { return page()->table(); }
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
