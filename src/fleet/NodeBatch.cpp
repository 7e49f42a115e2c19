#include "fleet/NodeBatch.h"

#include "net/AgentEndpoint.h"

namespace fleet {

namespace {
constexpr const char* kMissingAgentReason = kNoAgentEndpointText;
}

QList<NodeRef> snapshotRows(const QList<Node>& nodes, const QList<int>& rows) {
    QList<NodeRef> refs;
    for (int row : rows) {
        if (row >= 0 && row < nodes.size())
            refs.append({row, nodes[row].id, nodes[row]});
    }
    return refs;
}

QList<NodeRef> snapshotFiltered(const QList<Node>& nodes, const QString& filterId) {
    QList<NodeRef> refs;
    for (int row = 0; row < nodes.size(); ++row) {
        if (filterId.isEmpty() || nodes[row].id == filterId)
            refs.append({row, nodes[row].id, nodes[row]});
    }
    return refs;
}

int currentRow(const QList<Node>& nodes, const QString& id) {
    for (int row = 0; row < nodes.size(); ++row) {
        if (nodes[row].id == id)
            return row;
    }
    return -1;
}

int BatchReport::successes() const {
    int count = 0;
    for (const BatchResult& result : results)
        count += result.outcome.ok ? 1 : 0;
    return count;
}

int BatchReport::failures() const {
    return int(results.size()) - successes();
}

QStringList BatchReport::failureLines() const {
    QStringList lines;
    for (const BatchResult& result : results) {
        if (!result.outcome.ok)
            lines << nodeLabel(result.target.node) + QStringLiteral(": ") + result.outcome.reason;
    }
    return lines;
}

BatchReport runBatch(const QList<NodeRef>& targets, const std::function<StepOutcome(const NodeRef&)>& step,
                     bool needsAgent) {
    BatchReport report;
    for (const NodeRef& target : targets) {
        if (needsAgent && !target.node.hasAgentEndpoint()) {
            report.results.append({target, StepOutcome::failure(QString::fromUtf8(kMissingAgentReason))});
            continue;
        }
        report.results.append({target, step(target)});
    }
    return report;
}

QString batchSummary(const QString& title, const BatchReport& report) {
    return title + QStringLiteral("完成：成功 ") + QString::number(report.successes()) +
           QStringLiteral("，失败 ") + QString::number(report.failures()) + QStringLiteral("\n\n") +
           report.failureLines().join(QLatin1Char('\n'));
}

} // namespace fleet
