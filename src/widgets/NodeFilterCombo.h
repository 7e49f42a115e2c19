#pragma once

#include "model/Node.h"

#include <QComboBox>
#include <QList>

// A page's own node filter: "全部节点" first, then one item per Node (its label, data = its id). Pages
// rebuild it after every Node list load; the previous choice is kept while its Node still exists.
class NodeFilterCombo : public QComboBox {
public:
    explicit NodeFilterCombo(QWidget* parent = nullptr);

    void rebuild(const QList<Node>& nodes);
    // The chosen Node's id; empty for "全部节点".
    QString selectedNodeId() const;
};
