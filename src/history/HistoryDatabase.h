#pragma once

#include "history/HistoryRecords.h"

#include <QHash>
#include <QList>
#include <QString>

// The history database itself: one SQLite file, used only from the thread that opened it. Every call is
// synchronous; HistoryStore runs them on its worker thread. Failures come back as false with the
// database's reason in lastError(); corrupt() tells a damaged file from a locked or full one.
namespace history {

class HistoryDatabase {
public:
    HistoryDatabase();
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    // Opens (creating) the file and its tables.
    bool open(const QString& filePath);
    void close();
    bool isOpen() const;

    // One poll cycle (or any batch of samples, also from the past) in one transaction: samples within
    // the full-resolution window are kept as they are, hours that have ended are folded into minute
    // aggregates, samples older than the window go straight into them, and aged rows are pruned.
    bool write(const QList<Sample>& samples, qint64 nowMs);
    // Stores the events and gives each its id.
    bool addEvents(QList<Event>& events);
    bool markAllRead();
    bool forgetNode(const QString& nodeId);

    bool series(const QString& nodeId, Range range, qint64 toMs, Series* out);
    bool trends(qint64 nowMs, QHash<QString, Trend>* out);
    // The newest events first, at most limit.
    bool events(int limit, QList<Event>* out);
    bool unreadCount(int* out);

    QString lastError() const;
    bool corrupt() const; // the last failure says the file is damaged or not a database at all

private:
    struct Private;
    Private* d;
};

} // namespace history
