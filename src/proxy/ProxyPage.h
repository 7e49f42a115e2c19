#pragma once

#include "proxy/ProxyRules.h"
#include "shell/Shell.h"

#include <QWidget>

class PercentTableWidget;

namespace proxy {

// One row per Node with the state of its GOST proxy, polled while the page is shown; start, stop and
// restart run on the selected Nodes, "复制连接" copies the running proxy's socks5:// URL.
class ProxyPage : public QWidget {
public:
    explicit ProxyPage(shell::Shell& shell, QWidget* parent = nullptr);

    // Resets every row to its Node with "未知" (after each Node list load).
    void fillRows();
    // One status poll over every Node; a Node whose previous request still waits is skipped.
    void refreshStatuses();
    void startProxies();
    void stopProxies();
    void restartProxies();
    void copyConnection();
    void editDefaults();

    PercentTableWidget* table() const { return table_; }
    // Item data roles of column 0 with the running proxy's connection.
    static constexpr int kAddressRole = Qt::UserRole + 1;
    static constexpr int kUsernameRole = Qt::UserRole + 2;
    static constexpr int kPasswordRole = Qt::UserRole + 3;
    static constexpr int kNodeIdRole = Qt::UserRole + 4;
    static constexpr int kRunningRole = Qt::UserRole + 5;
    static constexpr int kActiveConnectionsRole = Qt::UserRole + 6;

private:
    void buildTable();
    void showContextMenu(const QPoint& pos);
    void runOnSelection(const QString& path, const QJsonObject& body);
    void applyView(int row, const ProxyRowView& view);
    // The row of the Node with this id as the table shows it now, or -1.
    int rowOfNode(const QString& nodeId) const;
    QList<int> selectedRows() const;
    // Asks before stopping the proxies of these Nodes (list indexes), saying what they carry now.
    bool confirmStop(const QList<int>& nodeRows);

    shell::Shell& shell_;
    PercentTableWidget* table_ = nullptr;
    ProxyDefaults defaults_;
};

} // namespace proxy
