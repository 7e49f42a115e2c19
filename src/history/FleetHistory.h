#pragma once

#include "history/EventDetector.h"
#include "history/HistoryRecords.h"
#include "history/HistoryStore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <functional>

// The window's history of its fleet: the store, the event detector and who wants to hear about what the
// polls brought. Pages reach it through the shell; it has no widgets.
namespace history {

// The fleet as the latest polls left it, for the top bar.
struct FleetSummary {
    int online = 0;    // Nodes whose latest status poll was answered
    double rxRate = 0; // summed over the online Nodes, bytes per second
    double txRate = 0;
    int pushing = 0; // rooms whose latest push status poll said "streaming"
};

class FleetHistory {
public:
    explicit FleetHistory(const QString& directory);
    ~FleetHistory();
    FleetHistory(const FleetHistory&) = delete;
    FleetHistory& operator=(const FleetHistory&) = delete;

    // Receives the status-line text once when history turns off or a damaged file was set aside.
    void setNoticeHandler(QObject* context, std::function<void(const QString& text)> notice);

    // One status poll cycle of the nodes page: one sample per Node that was polled, all with the
    // cycle's time. Written in one go; each sample is also an observation for the detector.
    void nodesPolled(const QList<Sample>& samples);
    // Every push status poll result of a room.
    void roomPolled(const RoomObservation& poll);
    // The user's stop of a push was accepted: its end is no interruption.
    void userStopped(const QString& roomKey);
    void stopRefused(const QString& roomKey);
    // A deleted Node: its history, its events and what the detector knew of it and its rooms.
    void forgetNode(const QString& nodeId);

    // Moving the data directory: the file is closed around the copy.
    void suspend();
    void resume(const QString& directory);

    // Runs callback with every batch of new events once stored, for as long as context lives.
    void whenEvents(QObject* context, std::function<void(const QList<Event>&)> callback);
    // Runs callback after every node poll cycle and room poll, for as long as context lives.
    void whenChanged(QObject* context, std::function<void()> callback);
    FleetSummary summary(const QSet<QString>& nodeIds) const;

    void querySeries(const QString& nodeId, Range range, QObject* context,
                     std::function<void(const Series&)> done);
    void queryTrends(QObject* context, std::function<void(const QHash<QString, Trend>&)> done);
    void queryEvents(int limit, QObject* context, std::function<void(const QList<Event>&, int unread)> done);
    void markAllRead();

private:
    void addEvents(const QList<Event>& events);
    void changed();

    struct RoomState {
        QString nodeId;
        QString status;
    };

    HistoryStore store_;
    EventDetector detector_;
    QObject context_; // delivery of stored events on this thread
    QHash<QString, Sample> latest_;
    QHash<QString, RoomState> rooms_;
    QList<std::pair<QPointer<QObject>, std::function<void(const QList<Event>&)>>> eventListeners_;
    QList<std::pair<QPointer<QObject>, std::function<void()>>> changeListeners_;
};

} // namespace history
