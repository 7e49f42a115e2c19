#include "history/NoticeSettings.h"

#include "app/Settings.h"

namespace history {

QList<EventKind> allEventKinds() {
    return {EventKind::NodeOffline, EventKind::NodeRecovered, EventKind::DiskAlmostFull,
            EventKind::PushInterrupted};
}

QString eventKindLabel(EventKind kind) {
    switch (kind) {
    case EventKind::NodeOffline:
        return QStringLiteral("节点离线");
    case EventKind::NodeRecovered:
        return QStringLiteral("节点恢复");
    case EventKind::DiskAlmostFull:
        return QStringLiteral("磁盘将满");
    case EventKind::PushInterrupted:
        return QStringLiteral("推流中断");
    }
    return QString();
}

QByteArray noticeSettingKey(EventKind kind) {
    return QByteArrayLiteral("notifications/") + kindName(kind).toLatin1();
}

bool noticeEnabled(EventKind kind) {
    return settings::readBool(noticeSettingKey(kind).constData(), true);
}

void setNoticeEnabled(EventKind kind, bool on) {
    settings::writeBool(noticeSettingKey(kind).constData(), on);
}

} // namespace history
