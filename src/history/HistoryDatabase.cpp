#include "history/HistoryDatabase.h"

#include "history/HistoryTiming.h"
#include "history/MinuteCodec.h"

#include <QAtomicInt>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cmath>
#include <limits>
#include <map>

namespace history {
namespace {

constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;
// Another client holding the file answers within this time or history turns off.
constexpr int kBusyTimeoutMs = 2000;

QString nextConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("ondivo-history-%1").arg(counter.fetchAndAddRelaxed(1));
}

qint64 hourStart(qint64 ms) {
    return ms - ((ms % kHourMs) + kHourMs) % kHourMs;
}

// Percentages are kept in tenths, rates in whole bytes per second: small integers take SQLite's short
// integer forms. A missing figure is NULL.
QVariant storedValue(int metric, double value) {
    if (value < 0)
        return QVariant();
    return metric <= Disk ? QVariant(qint64(std::lround(value * 10))) : QVariant(qint64(std::llround(value)));
}

double loadedValue(int metric, const QVariant& value) {
    if (value.isNull())
        return -1;
    return metric <= Disk ? value.toDouble() / 10.0 : value.toDouble();
}

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID",
    "CREATE TABLE IF NOT EXISTS nodes (id INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE)",
    // In time order only: a poll cycle appends a few pages at the end, pruning cuts at the start, the
    // trend column reads the tail. An index by Node would make every cycle rewrite a page per Node
    // (megabytes every 5 s); one Node's hour is read by scanning that hour instead.
    "CREATE TABLE IF NOT EXISTS samples (t INTEGER NOT NULL, node INTEGER NOT NULL, online INTEGER NOT NULL,"
    " cpu INTEGER, mem INTEGER, disk INTEGER, rx INTEGER, tx INTEGER, PRIMARY KEY (t, node)) WITHOUT ROWID",
    "DROP INDEX IF EXISTS samples_by_node",
    "CREATE TABLE IF NOT EXISTS minutes (hour INTEGER NOT NULL, node INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY (hour, node)) WITHOUT ROWID",
    "CREATE INDEX IF NOT EXISTS minutes_by_node ON minutes (node, hour)",
    "CREATE TABLE IF NOT EXISTS events (id INTEGER PRIMARY KEY, t INTEGER NOT NULL, node TEXT NOT NULL,"
    " room TEXT NOT NULL, kind TEXT NOT NULL, text TEXT NOT NULL, read INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS events_by_node ON events (node)",
};

// Samples below this time are already folded into the minute aggregates.
constexpr char kFoldedUpTo[] = "foldedUpTo";
constexpr char kLastPruneMinute[] = "lastPrune";

using HourKey = std::pair<qint64, qint64>; // (hour start, node ref)

} // namespace

struct HistoryDatabase::Private {
    QString connection = nextConnectionName();
    QSqlDatabase db;
    QString error;
    bool corrupt = false;
    QHash<QString, qint64> refs;
    qint64 foldedUpTo = 0;
    // Minute aggregates of the kept samples not folded yet (the current hour), so that a day or two
    // weeks of one Node need not scan the last hour of every Node. Rebuilt from the file when in doubt.
    std::map<HourKey, HourSlots> unfolded;
    bool unfoldedValid = false;
    qint64 lastPruneMinute = -1;

    bool fail(const QSqlError& sqlError) {
        error = sqlError.text();
        const int code = sqlError.nativeErrorCode().toInt() & 0xFF;
        corrupt = code == kSqliteCorrupt || code == kSqliteNotADatabase;
        return false;
    }

    bool exec(QSqlQuery& query) { return query.exec() || fail(query.lastError()); }

    bool exec(const QString& sql) {
        QSqlQuery query(db);
        return query.exec(sql) || fail(query.lastError());
    }

    bool prepare(QSqlQuery& query, const QString& sql) {
        return query.prepare(sql) || fail(query.lastError());
    }

    bool loadMeta() {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT key, value FROM meta")))
            return fail(query.lastError());
        while (query.next()) {
            if (query.value(0).toString() == QLatin1String(kFoldedUpTo))
                foldedUpTo = query.value(1).toLongLong();
            else if (query.value(0).toString() == QLatin1String(kLastPruneMinute))
                lastPruneMinute = query.value(1).toLongLong();
        }
        QSqlQuery nodes(db);
        if (!nodes.exec(QStringLiteral("SELECT id, key FROM nodes")))
            return fail(nodes.lastError());
        while (nodes.next())
            refs.insert(nodes.value(1).toString(), nodes.value(0).toLongLong());
        return true;
    }

    bool setMeta(const char* key, qint64 value) {
        QSqlQuery query(db);
        if (!prepare(query, QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)")))
            return false;
        query.addBindValue(QString::fromLatin1(key));
        query.addBindValue(value);
        return exec(query);
    }

    // The Node's number in the tables, created on first use; -1 on failure.
    qint64 refFor(const QString& nodeId) {
        const auto found = refs.constFind(nodeId);
        if (found != refs.constEnd())
            return *found;
        QSqlQuery query(db);
        if (!prepare(query, QStringLiteral("INSERT INTO nodes (key) VALUES (?)")))
            return -1;
        query.addBindValue(nodeId);
        if (!exec(query))
            return -1;
        const qint64 ref = query.lastInsertId().toLongLong();
        refs.insert(nodeId, ref);
        return ref;
    }

    bool insertSamples(const QList<const Sample*>& samples) {
        if (samples.isEmpty())
            return true;
        QSqlQuery query(db);
        if (!prepare(query,
                     QStringLiteral("INSERT OR REPLACE INTO samples (node, t, online, cpu, mem, disk, rx, tx)"
                                    " VALUES (?, ?, ?, ?, ?, ?, ?, ?)")))
            return false;
        for (const Sample* sample : samples) {
            const qint64 ref = refFor(sample->nodeId);
            if (ref < 0)
                return false;
            query.bindValue(0, ref);
            query.bindValue(1, sample->timeMs);
            query.bindValue(2, sample->online ? 1 : 0);
            for (int m = 0; m < kMetricCount; ++m)
                query.bindValue(3 + m, storedValue(m, sample->online ? sample->values[m] : -1));
            if (!exec(query))
                return false;
        }
        return true;
    }

    Sample sampleFromRow(const QSqlQuery& query, int firstColumn) {
        Sample sample;
        sample.timeMs = query.value(firstColumn).toLongLong();
        sample.online = query.value(firstColumn + 1).toInt() != 0;
        for (int m = 0; m < kMetricCount; ++m)
            sample.values[m] = loadedValue(m, query.value(firstColumn + 2 + m));
        return sample;
    }

    // Minute aggregates of the kept samples in [from, to), by (hour, node).
    bool foldStoredSamples(qint64 from, qint64 to, std::map<HourKey, HourSlots>* hours) {
        QSqlQuery query(db);
        if (!prepare(query, QStringLiteral("SELECT node, t, online, cpu, mem, disk, rx, tx FROM samples"
                                           " WHERE t >= ? AND t < ?")))
            return false;
        query.addBindValue(from);
        query.addBindValue(to);
        query.setForwardOnly(true);
        if (!exec(query))
            return false;
        while (query.next()) {
            const Sample sample = sampleFromRow(query, 1);
            addToHours(hours, query.value(0).toLongLong(), sample);
        }
        return true;
    }

    static void addToHours(std::map<HourKey, HourSlots>* hours, qint64 ref, const Sample& sample) {
        const qint64 hour = hourStart(sample.timeMs);
        HourSlots& slots = (*hours)[{hour, ref}];
        const int minute = int((sample.timeMs - hour) / kMinuteMs);
        slots[minute].startMs = hour + minute * kMinuteMs;
        addSample(slots[minute], sample);
    }

    // Merges the hours into the stored blobs.
    bool storeHours(const std::map<HourKey, HourSlots>& hours) {
        QSqlQuery read(db);
        QSqlQuery write(db);
        if (!prepare(read, QStringLiteral("SELECT data FROM minutes WHERE hour = ? AND node = ?")) ||
            !prepare(write,
                     QStringLiteral("INSERT OR REPLACE INTO minutes (hour, node, data) VALUES (?, ?, ?)")))
            return false;
        for (const auto& [key, slots] : hours) {
            HourSlots merged = slots;
            read.bindValue(0, key.first);
            read.bindValue(1, key.second);
            if (!exec(read))
                return false;
            if (read.next()) {
                if (const auto stored = decodeHour(read.value(0).toByteArray(), key.first)) {
                    for (int m = 0; m < kMinutesPerHour; ++m) {
                        mergeAggregate(merged[m], (*stored)[m]);
                        merged[m].startMs = key.first + m * kMinuteMs;
                    }
                }
            }
            read.finish();
            write.bindValue(0, key.first);
            write.bindValue(1, key.second);
            write.bindValue(2, encodeHour(merged));
            if (!exec(write))
                return false;
        }
        return true;
    }

    bool prune(qint64 nowMs) {
        const qint64 minute = nowMs / kMinuteMs;
        if (minute == lastPruneMinute)
            return true;
        const qint64 rawCutoff = std::min(nowMs - timing.fullResolutionMs, foldedUpTo);
        const qint64 cutoff = nowMs - timing.aggregateRetentionMs;
        QSqlQuery raw(db), minutes(db), events(db);
        if (!prepare(raw, QStringLiteral("DELETE FROM samples WHERE t < ?")) ||
            !prepare(minutes, QStringLiteral("DELETE FROM minutes WHERE hour < ?")) ||
            !prepare(events, QStringLiteral("DELETE FROM events WHERE t < ?")))
            return false;
        raw.addBindValue(rawCutoff);
        // An hour goes once its last minute has aged out.
        minutes.addBindValue(hourStart(cutoff) - kHourMs + 1);
        events.addBindValue(cutoff);
        if (!exec(raw) || !exec(minutes) || !exec(events))
            return false;
        lastPruneMinute = minute;
        return setMeta(kLastPruneMinute, minute);
    }

    bool writeInTransaction(const QList<Sample>& samples, qint64 nowMs) {
        const qint64 windowStart = nowMs - timing.fullResolutionMs;
        QList<const Sample*> kept;
        std::map<HourKey, HourSlots> hours;
        const qint64 retentionStart = nowMs - timing.aggregateRetentionMs;
        for (const Sample& sample : samples) {
            if (sample.timeMs < retentionStart || sample.nodeId.isEmpty())
                continue; // would only be pruned again
            if (sample.timeMs >= windowStart)
                kept.append(&sample);
            // Samples the minute aggregates would otherwise never see: older than the kept window, or
            // of a span already folded.
            if (sample.timeMs < windowStart || sample.timeMs < foldedUpTo) {
                const qint64 ref = refFor(sample.nodeId);
                if (ref < 0)
                    return false;
                addToHours(&hours, ref, sample);
            }
        }
        if (!insertSamples(kept))
            return false;
        if (unfoldedValid) {
            for (const Sample* sample : kept) {
                if (sample->timeMs >= foldedUpTo)
                    addToHours(&unfolded, refs.value(sample->nodeId), *sample);
            }
        }
        // Hours that have ended are folded from the kept samples.
        const qint64 currentHour = hourStart(nowMs);
        if (foldedUpTo < currentHour) {
            unfolded.erase(unfolded.begin(), unfolded.lower_bound({currentHour, 0}));
            if (!foldStoredSamples(foldedUpTo, currentHour, &hours))
                return false;
            foldedUpTo = currentHour;
            if (!setMeta(kFoldedUpTo, foldedUpTo))
                return false;
        }
        return storeHours(hours) && prune(nowMs);
    }

    bool ensureUnfolded() {
        if (unfoldedValid)
            return true;
        unfolded.clear();
        if (!foldStoredSamples(foldedUpTo, std::numeric_limits<qint64>::max(), &unfolded))
            return false;
        unfoldedValid = true;
        return true;
    }

    void forgetUnfolded() {
        unfolded.clear();
        unfoldedValid = false;
    }

    // Minute aggregates of one Node in [from, to), stored and not yet folded, by minute start.
    bool minutesOf(qint64 ref, qint64 from, qint64 to, QMap<qint64, Aggregate>* out) {
        QSqlQuery query(db);
        if (!prepare(query, QStringLiteral(
                                "SELECT hour, data FROM minutes WHERE node = ? AND hour >= ? AND hour < ?")))
            return false;
        query.addBindValue(ref);
        query.addBindValue(hourStart(from));
        query.addBindValue(to);
        query.setForwardOnly(true);
        if (!exec(query))
            return false;
        std::map<HourKey, HourSlots> hours;
        while (query.next()) {
            if (const auto slots = decodeHour(query.value(1).toByteArray(), query.value(0).toLongLong()))
                hours[{query.value(0).toLongLong(), ref}] = *slots;
        }
        if (!ensureUnfolded())
            return false;
        for (const auto& [key, slots] : unfolded) {
            if (key.second != ref)
                continue;
            HourSlots& target = hours[key];
            for (int m = 0; m < kMinutesPerHour; ++m)
                mergeAggregate(target[m], slots[m]);
        }
        for (const auto& [key, slots] : hours) {
            for (int m = 0; m < kMinutesPerHour; ++m) {
                const qint64 start = key.first + m * kMinuteMs;
                if (slots[m].samples > 0 && start >= from && start < to) {
                    Aggregate a = slots[m];
                    a.startMs = start;
                    out->insert(start, a);
                }
            }
        }
        return true;
    }

    bool rawOf(qint64 ref, qint64 from, qint64 to, QMap<qint64, Aggregate>* out) {
        QSqlQuery query(db);
        if (!prepare(query, QStringLiteral("SELECT t, online, cpu, mem, disk, rx, tx FROM samples"
                                           " WHERE node = ? AND t >= ? AND t < ? ORDER BY t")))
            return false;
        query.addBindValue(ref);
        query.addBindValue(from);
        query.addBindValue(to);
        query.setForwardOnly(true);
        if (!exec(query))
            return false;
        while (query.next()) {
            Aggregate a;
            a.startMs = query.value(0).toLongLong();
            addSample(a, sampleFromRow(query, 0));
            out->insert(a.startMs, a);
        }
        return true;
    }
};

namespace {

// Points of one bucket each (bucketMs 1: every sample its own point), and the offline spans they show;
// a point covers spanMs, so spans of neighbouring offline points join.
void fillSeries(const QMap<qint64, Aggregate>& sources, qint64 bucketMs, qint64 spanMs, Series* out) {
    Aggregate bucket;
    bool open = false;
    auto flush = [&] {
        if (!open)
            return;
        out->points.append(bucket);
        if (isOfflineSpan(bucket)) {
            const qint64 end = std::min(bucket.startMs + spanMs, out->toMs);
            if (!out->offline.isEmpty() && bucket.startMs - out->offline.last().endMs < spanMs)
                out->offline.last().endMs = std::max(out->offline.last().endMs, end);
            else
                out->offline.append({bucket.startMs, end});
        }
        open = false;
    };
    for (const Aggregate& a : sources) {
        const qint64 start = out->fromMs + (a.startMs - out->fromMs) / bucketMs * bucketMs;
        if (open && bucket.startMs != start)
            flush();
        if (!open) {
            bucket = Aggregate();
            bucket.startMs = start;
            open = true;
        }
        mergeAggregate(bucket, a);
    }
    flush();
}

} // namespace

HistoryDatabase::HistoryDatabase() : d(new Private) {
}

HistoryDatabase::~HistoryDatabase() {
    close();
    delete d;
}

bool HistoryDatabase::open(const QString& filePath) {
    close();
    d->corrupt = false;
    d->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d->connection);
    d->db.setDatabaseName(filePath);
    d->db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!d->db.open())
        return d->fail(d->db.lastError());
    // One client owns the file while it runs; a second one finds it locked and goes without history.
    for (const char* pragma :
         {"PRAGMA locking_mode = EXCLUSIVE", "PRAGMA journal_mode = WAL", "PRAGMA synchronous = NORMAL"}) {
        if (!d->exec(QString::fromLatin1(pragma)))
            return false;
    }
    if (!d->db.transaction())
        return d->fail(d->db.lastError());
    for (const char* statement : kSchema) {
        if (!d->exec(QString::fromLatin1(statement))) {
            d->db.rollback();
            return false;
        }
    }
    // What aged out while the client was not running goes with the first write, off the start-up path.
    bool ok = d->loadMeta();
    if (ok && !d->db.commit())
        ok = d->fail(d->db.lastError());
    if (!ok)
        d->db.rollback();
    return ok;
}

void HistoryDatabase::close() {
    if (d->db.isValid()) {
        d->db.close();
        d->db = QSqlDatabase();
        QSqlDatabase::removeDatabase(d->connection);
    }
    d->refs.clear();
    d->foldedUpTo = 0;
    d->forgetUnfolded();
    d->lastPruneMinute = -1;
}

bool HistoryDatabase::isOpen() const {
    return d->db.isValid() && d->db.isOpen();
}

bool HistoryDatabase::write(const QList<Sample>& samples, qint64 nowMs) {
    if (!d->db.transaction())
        return d->fail(d->db.lastError());
    const QHash<QString, qint64> refs = d->refs;
    const qint64 foldedUpTo = d->foldedUpTo;
    const qint64 lastPrune = d->lastPruneMinute;
    bool ok = d->writeInTransaction(samples, nowMs);
    if (ok && !d->db.commit())
        ok = d->fail(d->db.lastError());
    if (ok)
        return true;
    d->db.rollback();
    // What the rolled-back transaction changed is not in the file: forget it here too.
    d->refs = refs;
    d->foldedUpTo = foldedUpTo;
    d->forgetUnfolded();
    d->lastPruneMinute = lastPrune;
    return false;
}

bool HistoryDatabase::addEvents(QList<Event>& events) {
    QSqlQuery query(d->db);
    if (!d->prepare(query,
                    QStringLiteral("INSERT INTO events (t, node, room, kind, text, read)"
                                   " VALUES (?, COALESCE(?, ''), COALESCE(?, ''), ?, COALESCE(?, ''), ?)")))
        return false;
    if (!d->db.transaction())
        return d->fail(d->db.lastError());
    for (Event& event : events) {
        query.bindValue(0, event.timeMs);
        query.bindValue(1, event.nodeId);
        query.bindValue(2, event.roomKey);
        query.bindValue(3, kindName(event.kind));
        query.bindValue(4, event.text);
        query.bindValue(5, event.read ? 1 : 0);
        if (!d->exec(query)) {
            d->db.rollback();
            return false;
        }
        event.id = query.lastInsertId().toLongLong();
    }
    return d->db.commit() || d->fail(d->db.lastError());
}

bool HistoryDatabase::markAllRead() {
    return d->exec(QStringLiteral("UPDATE events SET read = 1 WHERE read = 0"));
}

bool HistoryDatabase::forgetNode(const QString& nodeId) {
    QSqlQuery events(d->db);
    if (!d->prepare(events, QStringLiteral("DELETE FROM events WHERE node = ?")))
        return false;
    events.addBindValue(nodeId);
    if (!d->exec(events))
        return false;
    const auto found = d->refs.constFind(nodeId);
    if (found == d->refs.constEnd())
        return true;
    const qint64 ref = *found;
    if (!d->db.transaction())
        return d->fail(d->db.lastError());
    for (const char* sql : {"DELETE FROM samples WHERE node = ?", "DELETE FROM minutes WHERE node = ?",
                            "DELETE FROM nodes WHERE id = ?"}) {
        QSqlQuery query(d->db);
        if (!d->prepare(query, QString::fromLatin1(sql))) {
            d->db.rollback();
            return false;
        }
        query.addBindValue(ref);
        if (!d->exec(query)) {
            d->db.rollback();
            return false;
        }
    }
    if (!d->db.commit())
        return d->fail(d->db.lastError());
    d->refs.remove(nodeId);
    d->forgetUnfolded();
    return true;
}

bool HistoryDatabase::series(const QString& nodeId, Range range, qint64 toMs, Series* out) {
    *out = Series();
    out->nodeId = nodeId;
    out->range = range;
    out->toMs = toMs;
    out->fromMs = toMs - rangeMs(range);
    const auto found = d->refs.constFind(nodeId);
    if (found == d->refs.constEnd())
        return true;
    QMap<qint64, Aggregate> sources;
    const bool ok = range == Range::Hour ? d->rawOf(*found, out->fromMs, toMs, &sources)
                                         : d->minutesOf(*found, out->fromMs, toMs, &sources);
    if (!ok)
        return false;
    fillSeries(sources, range == Range::Hour ? 1 : stepMs(range), stepMs(range), out);
    return true;
}

bool HistoryDatabase::trends(qint64 nowMs, QHash<QString, Trend>* out) {
    out->clear();
    QHash<qint64, QString> keys;
    for (auto it = d->refs.constBegin(); it != d->refs.constEnd(); ++it)
        keys.insert(it.value(), it.key());
    QSqlQuery query(d->db);
    if (!d->prepare(query, QStringLiteral(
                               "SELECT node, t, online, cpu, rx, tx FROM samples WHERE t >= ? ORDER BY t")))
        return false;
    query.addBindValue(nowMs - timing.trendMs);
    query.setForwardOnly(true);
    if (!d->exec(query))
        return false;
    while (query.next()) {
        const QString key = keys.value(query.value(0).toLongLong());
        if (key.isEmpty())
            continue;
        Trend& trend = (*out)[key];
        const bool online = query.value(2).toInt() != 0;
        trend.timesMs.append(query.value(1).toLongLong());
        trend.cpu.append(online ? float(loadedValue(Cpu, query.value(3))) : -1.0f);
        trend.rxRate.append(online ? float(loadedValue(RxRate, query.value(4))) : -1.0f);
        trend.txRate.append(online ? float(loadedValue(TxRate, query.value(5))) : -1.0f);
    }
    return true;
}

bool HistoryDatabase::events(int limit, QList<Event>* out) {
    out->clear();
    QSqlQuery query(d->db);
    if (!d->prepare(query, QStringLiteral("SELECT id, t, node, room, kind, text, read FROM events"
                                          " ORDER BY t DESC, id DESC LIMIT ?")))
        return false;
    query.addBindValue(limit);
    if (!d->exec(query))
        return false;
    while (query.next()) {
        Event event;
        if (!kindFromName(query.value(4).toString(), &event.kind))
            continue;
        event.id = query.value(0).toLongLong();
        event.timeMs = query.value(1).toLongLong();
        event.nodeId = query.value(2).toString();
        event.roomKey = query.value(3).toString();
        event.text = query.value(5).toString();
        event.read = query.value(6).toInt() != 0;
        out->append(event);
    }
    return true;
}

bool HistoryDatabase::unreadCount(int* out) {
    QSqlQuery query(d->db);
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM events WHERE read = 0")))
        return d->fail(query.lastError());
    *out = query.next() ? query.value(0).toInt() : 0;
    return true;
}

QString HistoryDatabase::lastError() const {
    return d->error;
}

bool HistoryDatabase::corrupt() const {
    return d->corrupt;
}

} // namespace history
