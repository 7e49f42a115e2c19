#pragma once

#include "model/Node.h"

#include <QMainWindow>

class QTabWidget;

// A top-level window for one Node: its connection data and the tabs of per-Node tools. The opener
// shows it with delete-on-close; it keeps its own copy of the Node so a reload cannot pull it away.
class NodeWindow : public QMainWindow {
public:
    explicit NodeWindow(const Node& node, QWidget* parent = nullptr);

    const Node& node() const { return node_; }
    QTabWidget* tabs() const { return tabs_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Node node_;
    QTabWidget* tabs_ = nullptr;
};
