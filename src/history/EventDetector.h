#pragma once

#include "history/HistoryRecords.h"

#include <QHash>
#include <QList>
#include <QString>

// What the poll results mean as events: a Node lost and back, a disk filling up, a push that died.
// The rules are pure functions of the previous state and one poll result; EventDetector only keeps that
// state per Node and per room.
namespace history {

inline constexpr int kFailedPollsForOffline = 2; // one lost reply is not an outage
inline constexpr double kDiskFullPercent = 90;
inline constexpr double kDiskClearPercent = 85; // below this the disk rule is armed again

struct NodeObservation {
    QString nodeId;
    qint64 timeMs = 0;
    bool answered = false;
    double diskPercent = -1; // negative: the reply had none
};

struct NodeTrack {
    int failedInRow = 0;
    qint64 firstFailureMs = 0; // the first unanswered poll of the current run of failures
    bool offline = false;      // "节点离线" was reported and "节点恢复" not yet
    bool diskFull = false;     // "磁盘将满" was reported and the disk has not fallen below 85 % since
    bool operator==(const NodeTrack&) const = default;
};

struct NodeStep {
    NodeTrack next;
    QList<Event> events;
};

NodeStep observeNode(const NodeTrack& previous, const NodeObservation& poll);

// A room's state after one of its push status polls (the status the live page derived from it).
struct RoomObservation {
    QString roomKey;
    QString nodeId;
    QString roomName;
    qint64 timeMs = 0;
    bool answered = false; // the Agent answered the poll; silence says nothing about the push
    QString status;        // "streaming", "retrying", "error", "stopped", ...
    QString lastError;
};

struct RoomTrack {
    QString status;             // the last answered status
    bool stopRequested = false; // the user stopped the push: its end is no interruption
    bool operator==(const RoomTrack&) const = default;
};

struct RoomStep {
    RoomTrack next;
    QList<Event> events;
};

RoomStep observeRoom(const RoomTrack& previous, const RoomObservation& poll);
// The user asked for the push to stop (or started it again): its next end is not an interruption.
RoomTrack userStopped(RoomTrack track);

class EventDetector {
public:
    QList<Event> nodePolled(const NodeObservation& poll);
    QList<Event> roomPolled(const RoomObservation& poll);
    void userStopped(const QString& roomKey);
    // The stop was refused: the push runs on, and its end is watched again.
    void stopRefused(const QString& roomKey);
    void forgetNode(const QString& nodeId);
    void forgetRoom(const QString& roomKey);

private:
    QHash<QString, NodeTrack> nodes_;
    QHash<QString, RoomTrack> rooms_;
};

} // namespace history
