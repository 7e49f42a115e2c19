#include "fleet/ListRows.h"

namespace fleet {

CappedList cappedList(const QJsonObject& reply, const QString& member, int maxRows) {
    CappedList list;
    const QJsonArray all = reply.value(member).toArray();
    list.total = all.size();
    if (list.total <= maxRows) {
        list.items = all;
        return list;
    }
    for (qsizetype i = 0; i < maxRows; ++i)
        list.items.append(all.at(i));
    return list;
}

QString listCutNotice(const QStringList& nodeLabels, int maxRows) {
    if (nodeLabels.isEmpty())
        return {};
    QStringList distinct;
    for (const QString& label : nodeLabels) {
        if (!distinct.contains(label))
            distinct << label;
    }
    return QStringLiteral("列表过长，每个节点只显示前 %1 行：%2")
        .arg(maxRows)
        .arg(distinct.join(QStringLiteral("、")));
}

QString withCutNotice(const QString& doneText, const QStringList& cutNodeLabels, int maxRows) {
    const QString notice = listCutNotice(cutNodeLabels, maxRows);
    return notice.isEmpty() ? doneText : doneText + QStringLiteral("；") + notice;
}

} // namespace fleet
