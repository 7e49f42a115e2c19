#include "history/EventDetector.h"

#include "app/TextFormats.h"

namespace history {
namespace {

Event makeEvent(EventKind kind, qint64 timeMs, const QString& nodeId, const QString& text) {
    Event event;
    event.kind = kind;
    event.timeMs = timeMs;
    event.nodeId = nodeId;
    event.text = text;
    return event;
}

bool isPushing(const QString& status) {
    return status == QLatin1String("streaming") || status == QLatin1String("retrying");
}

bool isEnded(const QString& status) {
    return status == QLatin1String("error") || status == QLatin1String("stopped");
}

void applyDiskRule(NodeStep& step, const NodeObservation& poll) {
    if (poll.diskPercent < 0)
        return;
    if (!step.next.diskFull && poll.diskPercent >= kDiskFullPercent) {
        step.next.diskFull = true;
        step.events.append(makeEvent(EventKind::DiskAlmostFull, poll.timeMs, poll.nodeId,
                                     QStringLiteral("磁盘将满：已用 %1%").arg(poll.diskPercent, 0, 'f', 1)));
    } else if (step.next.diskFull && poll.diskPercent < kDiskClearPercent) {
        step.next.diskFull = false;
    }
}

} // namespace

NodeStep observeNode(const NodeTrack& previous, const NodeObservation& poll) {
    NodeStep step{previous, {}};
    NodeTrack& next = step.next;
    if (!poll.answered) {
        if (next.failedInRow == 0)
            next.firstFailureMs = poll.timeMs;
        ++next.failedInRow;
        if (!next.offline && next.failedInRow >= kFailedPollsForOffline) {
            next.offline = true;
            step.events.append(
                makeEvent(EventKind::NodeOffline, poll.timeMs, poll.nodeId, QStringLiteral("节点离线")));
        }
        return step;
    }
    if (next.offline) {
        const qint64 awaySeconds = (poll.timeMs - next.firstFailureMs) / 1000;
        step.events.append(makeEvent(EventKind::NodeRecovered, poll.timeMs, poll.nodeId,
                                     QStringLiteral("节点恢复，离线 ") + fmt::duration(awaySeconds)));
    }
    next.failedInRow = 0;
    next.firstFailureMs = 0;
    next.offline = false;
    applyDiskRule(step, poll);
    return step;
}

RoomStep observeRoom(const RoomTrack& previous, const RoomObservation& poll) {
    RoomStep step{previous, {}};
    if (!poll.answered)
        return step;
    RoomTrack& next = step.next;
    if (isPushing(previous.status) && isEnded(poll.status) && !previous.stopRequested) {
        QString text = QStringLiteral("推流中断：") + poll.roomName;
        if (!poll.lastError.trimmed().isEmpty())
            text += QStringLiteral("：") + poll.lastError.trimmed();
        Event event = makeEvent(EventKind::PushInterrupted, poll.timeMs, poll.nodeId, text);
        event.roomKey = poll.roomKey;
        step.events.append(event);
    }
    // A stop request covers the end of the push it was meant for; a push that runs again later is
    // watched afresh.
    if (isEnded(poll.status) || (poll.status == QLatin1String("streaming") && !isPushing(previous.status)))
        next.stopRequested = false;
    next.status = poll.status;
    return step;
}

RoomTrack userStopped(RoomTrack track) {
    track.stopRequested = true;
    return track;
}

QList<Event> EventDetector::nodePolled(const NodeObservation& poll) {
    NodeStep step = observeNode(nodes_.value(poll.nodeId), poll);
    nodes_.insert(poll.nodeId, step.next);
    return step.events;
}

QList<Event> EventDetector::roomPolled(const RoomObservation& poll) {
    RoomStep step = observeRoom(rooms_.value(poll.roomKey), poll);
    rooms_.insert(poll.roomKey, step.next);
    return step.events;
}

void EventDetector::userStopped(const QString& roomKey) {
    rooms_.insert(roomKey, history::userStopped(rooms_.value(roomKey)));
}

void EventDetector::stopRefused(const QString& roomKey) {
    const auto it = rooms_.find(roomKey);
    if (it != rooms_.end())
        it->stopRequested = false;
}

void EventDetector::forgetNode(const QString& nodeId) {
    nodes_.remove(nodeId);
}

void EventDetector::forgetRoom(const QString& roomKey) {
    rooms_.remove(roomKey);
}

} // namespace history
