#include "app/UiText.h"

#include <QHash>

namespace app {
namespace {

struct TableEntry {
    const char* key;
    const char* text; // UTF-8, like every other literal of the client
};

constexpr TableEntry kEntries[] = {
    {"nav.nodes", "节点"},
    {"nav.proxy", "代理"},
    {"nav.bridge", "中转"},
    {"nav.live", "直播"},
    {"nav.rtmp", "RTMP"},
    {"nav.files", "文件管理"},
    {"nav.settings", "设置"},
    {"live.logs.nodeUnavailable", "房间没有绑定可用节点。"},
    {"live.logs.readFailed", "读取日志失败: "},
    {"live.logs.titlePrefix", "直播日志 - "},
    {"live.logs.events", "事件日志"},
    {"live.logs.ffmpeg", "FFmpeg日志"},
};

QHash<QString, QString> buildTable() {
    QHash<QString, QString> table;
    for (const TableEntry& entry : kEntries) {
        table.insert(QString::fromLatin1(entry.key), QString::fromUtf8(entry.text));
    }
    return table;
}

const QHash<QString, QString>& table() {
    static const QHash<QString, QString> instance = buildTable(); // thread-safe one-time build
    return instance;
}

} // namespace

QString uiText(const QString& key) {
    return table().value(key, key);
}

} // namespace app
