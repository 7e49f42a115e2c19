#include "history/FleetHistory.h"

#include <QSet>

namespace history {

FleetHistory::FleetHistory(const QString& directory) : store_(directory) {
}

FleetHistory::~FleetHistory() = default;

void FleetHistory::setNoticeHandler(QObject* context, std::function<void(const QString&)> notice) {
    store_.setNoticeHandler(context, std::move(notice));
}

void FleetHistory::nodesPolled(const QList<Sample>& samples) {
    if (samples.isEmpty())
        return;
    QList<Event> events;
    for (const Sample& sample : samples) {
        latest_.insert(sample.nodeId, sample);
        events += detector_.nodePolled({sample.nodeId, sample.timeMs, sample.online, sample.values[Disk]});
    }
    store_.record(samples);
    addEvents(events);
    changed();
}

void FleetHistory::roomPolled(const RoomObservation& poll) {
    if (poll.answered)
        rooms_.insert(poll.roomKey, {poll.nodeId, poll.status});
    addEvents(detector_.roomPolled(poll));
    changed();
}

void FleetHistory::userStopped(const QString& roomKey) {
    detector_.userStopped(roomKey);
}

void FleetHistory::stopRefused(const QString& roomKey) {
    detector_.stopRefused(roomKey);
}

void FleetHistory::forgetNode(const QString& nodeId) {
    latest_.remove(nodeId);
    for (auto it = rooms_.begin(); it != rooms_.end();) {
        if (it->nodeId == nodeId) {
            detector_.forgetRoom(it.key());
            it = rooms_.erase(it);
        } else {
            ++it;
        }
    }
    detector_.forgetNode(nodeId);
    store_.forgetNode(nodeId);
    changed();
}

void FleetHistory::suspend() {
    store_.suspend();
}

void FleetHistory::resume(const QString& directory) {
    store_.resume(directory);
}

void FleetHistory::whenEvents(QObject* context, std::function<void(const QList<Event>&)> callback) {
    eventListeners_.append({QPointer<QObject>(context), std::move(callback)});
}

void FleetHistory::whenChanged(QObject* context, std::function<void()> callback) {
    changeListeners_.append({QPointer<QObject>(context), std::move(callback)});
}

FleetSummary FleetHistory::summary(const QSet<QString>& nodeIds) const {
    FleetSummary summary;
    for (const Sample& sample : latest_) {
        if (!sample.online || !nodeIds.contains(sample.nodeId))
            continue;
        ++summary.online;
        summary.rxRate += qMax(0.0, sample.values[RxRate]);
        summary.txRate += qMax(0.0, sample.values[TxRate]);
    }
    for (const RoomState& room : rooms_) {
        if (room.status == QLatin1String("streaming") && nodeIds.contains(room.nodeId))
            ++summary.pushing;
    }
    return summary;
}

void FleetHistory::querySeries(const QString& nodeId, Range range, QObject* context,
                               std::function<void(const Series&)> done) {
    store_.querySeries(nodeId, range, context, std::move(done));
}

void FleetHistory::queryTrends(QObject* context, std::function<void(const QHash<QString, Trend>&)> done) {
    store_.queryTrends(context, std::move(done));
}

void FleetHistory::queryEvents(int limit, QObject* context,
                               std::function<void(const QList<Event>&, int unread)> done) {
    store_.queryEvents(limit, context, std::move(done));
}

void FleetHistory::markAllRead() {
    store_.markAllRead();
}

void FleetHistory::addEvents(const QList<Event>& events) {
    if (events.isEmpty())
        return;
    // Listeners hear of the events once the store has them (with their ids), so a list read in
    // reply already holds them. With history off they are still told, without ids.
    store_.recordEvents(events, &context_, [this](const QList<Event>& stored) {
        const auto listeners = eventListeners_;
        for (const auto& [context, callback] : listeners) {
            if (context && callback)
                callback(stored);
        }
    });
}

void FleetHistory::changed() {
    const auto listeners = changeListeners_;
    for (const auto& [context, callback] : listeners) {
        if (context && callback)
            callback();
    }
}

} // namespace history
