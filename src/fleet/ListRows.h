#pragma once

#include "net/ReplyLimits.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

// What every list page shares about one Node's list: how many of its elements become rows, and the
// status-line notice when a list was cut.
namespace fleet {

// The elements of one list member of a reply, no more than maxRows of them, and how many there were.
struct CappedList {
    QJsonArray items;
    qsizetype total = 0;
    bool isCut() const { return total > items.size(); }
};

// The first maxRows elements of reply[member] (an absent or non-array member gives none).
CappedList cappedList(const QJsonObject& reply, const QString& member,
                      int maxRows = net::limits::kListRowsPerNode);

// "列表过长，每个节点只显示前 N 行：A、B" for the Nodes (labels) whose list was cut; empty when none was.
QString listCutNotice(const QStringList& nodeLabels, int maxRows = net::limits::kListRowsPerNode);

// The status line after a load: the completion text, with the cut notice after it when there is one.
QString withCutNotice(const QString& doneText, const QStringList& cutNodeLabels,
                      int maxRows = net::limits::kListRowsPerNode);

} // namespace fleet
