#pragma once

#include "model/Node.h"

#include <QList>
#include <QMainWindow>
#include <QPair>

class QFormLayout;
class QLabel;
class QTabWidget;
class QVBoxLayout;
class TerminalPane;

// A top-level window for one Node: its connection data and the tabs of per-Node tools. The opener
// shows it with delete-on-close; it keeps its own copy of the Node so a reload cannot pull it away.
// The SSH terminal is started the first time the "Shell" tab is shown and lives as long as the window.
class NodeWindow : public QMainWindow {
public:
    explicit NodeWindow(const Node& node, QWidget* parent = nullptr);

    const Node& node() const { return node_; }
    QTabWidget* tabs() const { return tabs_; }
    TerminalPane* terminal() const { return terminal_; }

    // The Node's live figures from the fleet's status poll (engines, CPU, memory, disk, network), as
    // name and value pairs in display order; shown on the "概览" tab as plain text.
    void showLiveFigures(const QList<QPair<QString, QString>>& figures);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void installCloseKeys();
    void openTerminal();
    QWidget* createOverviewTab();

    Node node_;
    QTabWidget* tabs_ = nullptr;
    QVBoxLayout* shellLayout_ = nullptr;
    int shellTab_ = -1;
    TerminalPane* terminal_ = nullptr;
    QFormLayout* figures_ = nullptr;
    QLabel* figuresNote_ = nullptr;
};
