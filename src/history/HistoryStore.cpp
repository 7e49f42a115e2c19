#include "history/HistoryStore.h"

#include "app/DataPaths.h"
#include "history/HistoryDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>

namespace history {
namespace {

// Poll cycles waiting for the worker beyond this (minutes of them: the disk is stuck) are dropped
// rather than piling up in memory.
constexpr int kMaxQueuedWrites = 60;
constexpr int kEventLimit = 1000;

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The damaged file and its journal move aside under one new name, so nothing of them is lost and the
// fresh file does not pick up the old journal.
QString setAside(const QString& path) {
    const QString aside = path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = aside;
    for (int n = 2; QFile::exists(target); ++n)
        target = aside + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(path, target))
        return QString();
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString side = path + QLatin1String(suffix);
        if (QFile::exists(side))
            QFile::rename(side, target + QLatin1String(suffix));
    }
    return target;
}

} // namespace

struct HistoryStore::State {
    QThread thread;
    QObject* worker = nullptr; // lives on thread
    QObject relay;             // lives on the creating thread: results are handed back through it
    std::atomic<bool> enabled{true};
    std::atomic<int> queuedWrites{0};

    // GUI side.
    QPointer<QObject> noticeContext;
    std::function<void(const QString&)> notice;

    // Worker side.
    HistoryDatabase db;
    QString path;
    bool damagedReported = false;

    template <typename Work> void onWorker(Work work, Qt::ConnectionType type = Qt::QueuedConnection) {
        QMetaObject::invokeMethod(worker, std::move(work), type);
    }

    template <typename Deliver> void onGui(Deliver deliver) {
        QMetaObject::invokeMethod(&relay, std::move(deliver), Qt::QueuedConnection);
    }

    // Worker side: tells the window once.
    void report(const QString& text) {
        app::appendLog(text);
        onGui([this, text] {
            if (noticeContext && notice)
                notice(text);
        });
    }

    // Worker side: after a failed call. A damaged file is set aside and history starts afresh; anything
    // else (locked, disk full, unreadable) turns history off.
    void failed() {
        const QString reason = db.lastError();
        if (db.corrupt() && !damagedReported) {
            db.close();
            damagedReported = true;
            const QString aside = setAside(path);
            if (!aside.isEmpty() && db.open(path)) {
                report(QStringLiteral("历史记录文件已损坏，已另存为 %1，重新开始记录")
                           .arg(QDir::toNativeSeparators(aside)));
                return;
            }
        }
        db.close();
        if (enabled.exchange(false))
            report(QStringLiteral("历史记录已关闭：") + (reason.isEmpty() ? db.lastError() : reason));
    }

    void open(const QString& directory) {
        path = QDir(directory).filePath(HistoryStore::fileName());
        damagedReported = false;
        enabled = true;
        if (!db.open(path))
            failed();
    }

    // Worker side: runs call when history is on; a failure is handled as above.
    template <typename Call> bool run(Call call) {
        if (!enabled || !db.isOpen())
            return false;
        if (call())
            return true;
        failed();
        return false;
    }
};

HistoryStore::HistoryStore(const QString& directory) : state_(std::make_shared<State>()) {
    state_->worker = new QObject;
    state_->worker->moveToThread(&state_->thread);
    state_->thread.setObjectName(QStringLiteral("history"));
    state_->thread.start(QThread::LowPriority);
    State* s = state_.get();
    s->onWorker([s, directory] { s->open(directory); });
}

HistoryStore::~HistoryStore() {
    State* s = state_.get();
    s->onWorker([s] { s->db.close(); }, Qt::BlockingQueuedConnection);
    s->thread.quit();
    s->thread.wait();
    delete s->worker;
}

QString HistoryStore::fileName() {
    return QStringLiteral("history.sqlite");
}

void HistoryStore::setNoticeHandler(QObject* context, std::function<void(const QString&)> notice) {
    state_->noticeContext = context;
    state_->notice = std::move(notice);
}

bool HistoryStore::isEnabled() const {
    return state_->enabled;
}

void HistoryStore::record(QList<Sample> samples) {
    State* s = state_.get();
    if (!s->enabled || samples.isEmpty())
        return;
    if (s->queuedWrites.fetch_add(1) >= kMaxQueuedWrites) {
        s->queuedWrites.fetch_sub(1);
        return;
    }
    s->onWorker([s, samples = std::move(samples)] {
        s->queuedWrites.fetch_sub(1);
        s->run([&] { return s->db.write(samples, nowMs()); });
    });
}

void HistoryStore::recordEvents(QList<Event> events, QObject* context,
                                std::function<void(const QList<Event>&)> stored) {
    State* s = state_.get();
    QPointer<QObject> guard(context);
    s->onWorker([s, events = std::move(events), guard, stored = std::move(stored)]() mutable {
        s->run([&] { return s->db.addEvents(events); });
        if (stored)
            s->onGui([guard, stored, events] {
                if (guard)
                    stored(events);
            });
    });
}

void HistoryStore::markAllRead() {
    State* s = state_.get();
    s->onWorker([s] { s->run([s] { return s->db.markAllRead(); }); });
}

void HistoryStore::forgetNode(const QString& nodeId) {
    State* s = state_.get();
    s->onWorker([s, nodeId] { s->run([&] { return s->db.forgetNode(nodeId); }); });
}

void HistoryStore::querySeries(const QString& nodeId, Range range, QObject* context,
                               std::function<void(const Series&)> done) {
    State* s = state_.get();
    QPointer<QObject> guard(context);
    s->onWorker([s, nodeId, range, guard, done = std::move(done)] {
        Series series;
        series.nodeId = nodeId;
        series.range = range;
        if (!s->run([&] { return s->db.series(nodeId, range, nowMs(), &series); }))
            series.points.clear();
        s->onGui([guard, done, series] {
            if (guard)
                done(series);
        });
    });
}

void HistoryStore::queryTrends(QObject* context, std::function<void(const QHash<QString, Trend>&)> done) {
    State* s = state_.get();
    QPointer<QObject> guard(context);
    s->onWorker([s, guard, done = std::move(done)] {
        QHash<QString, Trend> trends;
        if (!s->run([&] { return s->db.trends(nowMs(), &trends); }))
            trends.clear();
        s->onGui([guard, done, trends] {
            if (guard)
                done(trends);
        });
    });
}

void HistoryStore::queryEvents(int limit, QObject* context,
                               std::function<void(const QList<Event>&, int unread)> done) {
    State* s = state_.get();
    QPointer<QObject> guard(context);
    const int capped = std::clamp(limit, 0, kEventLimit);
    s->onWorker([s, capped, guard, done = std::move(done)] {
        QList<Event> events;
        int unread = 0;
        if (!s->run([&] { return s->db.events(capped, &events) && s->db.unreadCount(&unread); })) {
            events.clear();
            unread = 0;
        }
        s->onGui([guard, done, events, unread] {
            if (guard)
                done(events, unread);
        });
    });
}

void HistoryStore::suspend() {
    State* s = state_.get();
    s->onWorker([s] { s->db.close(); }, Qt::BlockingQueuedConnection);
}

void HistoryStore::resume(const QString& directory) {
    State* s = state_.get();
    s->onWorker([s, directory] { s->open(directory); });
}

} // namespace history
