#pragma once

#include "history/HistoryRecords.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Which kinds of event the desktop is told about: one switch per kind under "notifications/<kind>",
// on unless the user turned it off.
namespace history {

QList<EventKind> allEventKinds();
// "节点离线", "节点恢复", "磁盘将满", "推流中断".
QString eventKindLabel(EventKind kind);
QByteArray noticeSettingKey(EventKind kind);
bool noticeEnabled(EventKind kind);
void setNoticeEnabled(EventKind kind, bool on);

} // namespace history
