#include "mainwindow/NodeFilterRules.h"

namespace mainwindow {

bool nodeMatchesFilter(const Node& node, const QString& text) {
    const QString needle = text.trimmed();
    if (needle.isEmpty())
        return true;
    for (const QString& field : {nodeLabel(node), node.host, node.name, node.lastAgentVersion}) {
        if (field.contains(needle, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString filteredStatusLine(int shown, int total) {
    return QStringLiteral("显示 %1 / %2 个节点").arg(shown).arg(total);
}

} // namespace mainwindow
