#include "widgets/NodeFilterCombo.h"

#include <QSignalBlocker>

NodeFilterCombo::NodeFilterCombo(QWidget* parent) : QComboBox(parent) {
    setObjectName(QStringLiteral("nodeFilter"));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    addItem(QStringLiteral("全部节点"), QString());
}

void NodeFilterCombo::rebuild(const QList<Node>& nodes) {
    const QSignalBlocker blocker(this);
    const QString previous = selectedNodeId();
    clear();
    addItem(QStringLiteral("全部节点"), QString());
    for (const Node& node : nodes)
        addItem(nodeLabel(node), node.id);
    const int index = findData(previous, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    setCurrentIndex(index < 0 ? 0 : index);
}

QString NodeFilterCombo::selectedNodeId() const {
    return currentData().toString();
}
