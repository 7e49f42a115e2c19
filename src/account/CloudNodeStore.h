#pragma once

#include "model/Node.h"

#include <QList>
#include <QStringList>
#include <functional>

namespace shell {
class Shell;
}

// The signed-in account's Node list as the Cloud API keeps it: loading (each Node opened from its
// envelope), importing one Node from its code and deleting Nodes, with the NODE_IN_USE question. The
// store owns the list for the whole session; the window reads it through the shell.
class CloudNodeStore {
public:
    explicit CloudNodeStore(shell::Shell& shell);

    const QList<Node>& nodes() const { return nodes_; }
    // Replaces the list from the Cloud API; a failed load warns and keeps the list. A load asked for
    // while one waits is dropped. Runs the after-load action after each successful load.
    void load(bool showBusy);
    bool isLoading() const { return loading_; }
    bool lastLoadSucceeded() const { return lastLoadSucceeded_; }
    void setAfterLoad(std::function<void()> afterLoad) { afterLoad_ = std::move(afterLoad); }

    void importNode();
    // Deletes these Nodes (copies taken when the user chose them) after asking, then reloads.
    void deleteNodes(const QList<Node>& selected);

    void setLastAgentVersion(const QString& nodeId, const QString& version);

private:
    bool deleteOneNode(const Node& node, QStringList& failures);

    shell::Shell& shell_;
    QList<Node> nodes_;
    std::function<void()> afterLoad_;
    bool loading_ = false;
    bool lastLoadSucceeded_ = false;
};
