#pragma once

#include "model/Node.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace fleet {

// A Node as it stood when an action began: its row then, its id and a copy of the record, so requests
// that wait in nested event loops never read a list that was reloaded meanwhile.
struct NodeRef {
    int row = -1;
    QString id;
    Node node;
};

// Copies of the Nodes at the given rows, in the given order; rows outside the list are left out.
QList<NodeRef> snapshotRows(const QList<Node>& nodes, const QList<int>& rows);
// Every Node, or only the one with filterId when it is not empty (a filter on a Node that is gone gives
// none).
QList<NodeRef> snapshotFiltered(const QList<Node>& nodes, const QString& filterId);
// Where the Node with this id stands now, or -1 when it is gone.
int currentRow(const QList<Node>& nodes, const QString& id);

// The outcome of one step of a batch.
struct StepOutcome {
    bool ok = false;
    QString reason; // why it failed
    static StepOutcome success() { return {true, {}}; }
    static StepOutcome failure(const QString& reason) { return {false, reason}; }
};

struct BatchResult {
    NodeRef target;
    StepOutcome outcome;
};

// The results of a batch in the order the Nodes were worked on.
struct BatchReport {
    QList<BatchResult> results;
    int successes() const;
    int failures() const;
    // "<label>: <reason>" for every failure, in order.
    QStringList failureLines() const;
};

// Works through the targets one after another. A Node without an Agent endpoint fails with
// "缺少 Agent API 信息" unless needsAgent is false; the step is not called for it.
BatchReport runBatch(const QList<NodeRef>& targets, const std::function<StepOutcome(const NodeRef&)>& step,
                     bool needsAgent = true);

// "<title>完成：成功 a，失败 b" followed by a blank line and the failure lines; labels and reasons are
// taken literally (never as format arguments).
QString batchSummary(const QString& title, const BatchReport& report);

} // namespace fleet
