#include "streaming/LivePullSources.h"

#include <QJsonValue>

namespace live {
namespace {

QString textMember(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

void addSource(QList<PullSource>& sources, const QString& url, const QString& label) {
    if (url.isEmpty())
        return;
    for (const PullSource& source : sources) {
        if (source.url == url)
            return;
    }
    sources.append({label, url});
}

} // namespace

QString srtReadUrl(const QString& srtPublishUrl) {
    QString url = srtPublishUrl.trimmed();
    if (url.contains(QLatin1String("streamid=publish:")))
        return url.replace(QLatin1String("streamid=publish:"), QLatin1String("streamid=read:"));
    if (url.contains(QLatin1String("streamid=publish%3A")))
        return url.replace(QLatin1String("streamid=publish%3A"), QLatin1String("streamid=read%3A"));
    return {};
}

void addRoomPullSources(QList<PullSource>& sources, const QJsonObject& room, const QString& nodeLabel) {
    QString rtmp = textMember(room, "playUrl");
    if (rtmp.isEmpty())
        rtmp = textMember(room, "rtmpPublishFullUrl");
    if (rtmp.isEmpty())
        rtmp = textMember(room, "publishUrl");
    QString roomName = textMember(room, "name");
    if (roomName.isEmpty())
        roomName = textMember(room, "roomKey");
    const QString node = nodeLabel.isEmpty() ? QStringLiteral("未知节点") : nodeLabel;
    const QString label = QStringLiteral("%1 / %2 / %3").arg(node, roomName);
    addSource(sources, rtmp, label.arg(QStringLiteral("RTMP")));
    addSource(sources, srtReadUrl(textMember(room, "srtPublishFullUrl")), label.arg(QStringLiteral("SRT")));
}

} // namespace live
