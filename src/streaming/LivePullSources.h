#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// The pull addresses the live room editor offers: the RTMP play and SRT read addresses of the Nodes'
// ingest rooms, each URL once.
namespace live {

struct PullSource {
    QString label; // "<node> / <room> / RTMP|SRT"
    QString url;
};

// Adds the sources of one ingest room object (as "/rtmp/status" lists it) that are not yet offered.
void addRoomPullSources(QList<PullSource>& sources, const QJsonObject& room, const QString& nodeLabel);
// An SRT publish address turned into its read address; empty when it names no publish stream id.
QString srtReadUrl(const QString& srtPublishUrl);

} // namespace live
