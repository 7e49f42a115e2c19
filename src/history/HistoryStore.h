#pragma once

#include "history/HistoryRecords.h"

#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

class QObject;

// The history of every Node and the event list, kept in "history.sqlite" in the data directory.
//
// All database work runs on a worker thread of the store's own (a Qt SQL connection belongs to the
// thread that opened it); the calls here only hand work over and return at once. Results come back on
// the thread that created the store, through a callback that is dropped when its context object is gone.
//
// A database that is locked by another client, damaged or on a full disk never stops the client: history
// then turns off and the notice handler hears about it once. A damaged file is renamed aside (never
// deleted) and history starts afresh in a new one.
namespace history {

class HistoryStore {
public:
    // Opens (or creates) directory + "/history.sqlite" on the worker thread.
    explicit HistoryStore(const QString& directory);
    // Writes what was handed over, then closes the file.
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    static QString fileName();

    // Receives the status-line text when history turns off or a damaged file was set aside.
    void setNoticeHandler(QObject* context, std::function<void(const QString& text)> notice);
    // False once history has turned off.
    bool isEnabled() const;

    // One poll cycle's samples (one per Node), written in one transaction. Samples may carry past times.
    void record(QList<Sample> samples);
    // Stores events; stored (optional) gets them back with their ids.
    void recordEvents(QList<Event> events, QObject* context = nullptr,
                      std::function<void(const QList<Event>&)> stored = {});
    void markAllRead();
    // A deleted Node's samples, aggregates and events.
    void forgetNode(const QString& nodeId);

    // One Node over the range that ends now: its points and offline spans.
    void querySeries(const QString& nodeId, Range range, QObject* context,
                     std::function<void(const Series&)> done);
    // The trend column: the last minutes of every Node, by Node id.
    void queryTrends(QObject* context, std::function<void(const QHash<QString, Trend>&)> done);
    // The newest events (at most limit) and the number of unread ones.
    void queryEvents(int limit, QObject* context, std::function<void(const QList<Event>&, int unread)> done);

    // Moving the data directory: suspend() returns once the file is closed (everything handed over before
    // is written); resume() opens the file in the given directory (the new one, or the old one when the
    // move failed) and turns history on again.
    void suspend();
    void resume(const QString& directory);

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace history
