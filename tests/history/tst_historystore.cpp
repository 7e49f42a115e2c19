#include "TestMain.h"
#include "history/HistoryDatabase.h"
#include "history/HistoryStore.h"
#include "history/HistoryTiming.h"
#include "settings/DataDirectoryRules.h"

#include <QDateTime>
#include <QTemporaryDir>

using namespace history;

namespace {

constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;
// Half past an hour: the 14-day cutoff then lies inside an hour, not on its edge.
constexpr qint64 kNow = 1'765'000'000'000LL / kHour * kHour + 30 * kMinute;

Sample sample(qint64 timeMs, bool online, double cpu, double rx) {
    Sample s;
    s.nodeId = QStringLiteral("node-a");
    s.timeMs = timeMs;
    s.online = online;
    if (online) {
        s.values[Cpu] = cpu;
        s.values[Memory] = 40;
        s.values[Disk] = 70;
        s.values[RxRate] = rx;
        s.values[TxRate] = rx / 2;
    }
    return s;
}

const Aggregate* pointAt(const Series& series, qint64 startMs) {
    for (const Aggregate& point : series.points) {
        if (point.startMs == startMs)
            return &point;
    }
    return nullptr;
}

Series seriesOf(HistoryDatabase& db, Range range, qint64 toMs) {
    Series series;
    [&] {
        QVERIFY2(db.series(QStringLiteral("node-a"), range, toMs, &series), qPrintable(db.lastError()));
    }();
    return series;
}

} // namespace

class TestHistoryStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A minute of polls (two of them unanswered) followed by a minute without any answer becomes one
    // minute's min / mean / max and an offline span, whichever way the samples reach the aggregates.
    void minuteAggregates_data() {
        QTest::addColumn<qint64>("age");
        QTest::newRow("still in the kept samples") << 30 * kMinute;
        QTest::newRow("in an hour folded from the kept samples") << 90 * kMinute;
        QTest::newRow("older than the kept window") << 3 * kHour;
        QTest::newRow("13 days old") << 13 * kDay;
    }

    void minuteAggregates() {
        QFETCH(qint64, age);
        QTemporaryDir dir;
        HistoryDatabase db;
        QVERIFY2(db.open(dir.filePath("h.sqlite")), qPrintable(db.lastError()));
        const qint64 minute = kNow - age;
        QList<Sample> cycle;
        for (int i = 0; i < 12; ++i)
            cycle << sample(minute + i * 5000, i != 3 && i != 4, i * 5.0, 1000.0 * (i + 1));
        for (int i = 0; i < 12; ++i)
            cycle << sample(minute + kMinute + i * 5000, false, 0, 0);
        // Written in two parts with a look in between, looked at again after a later cycle folded the
        // hour (its samples must not count twice).
        QVERIFY2(db.write(cycle.mid(0, 6), kNow), qPrintable(db.lastError()));
        seriesOf(db, Range::Day, minute + 10 * kMinute);
        QVERIFY(db.write(cycle.mid(6), kNow));
        for (qint64 later : {kNow, kNow + kHour}) {
            QVERIFY(db.write({sample(later, true, 1, 1)}, later));
            const Series series = seriesOf(db, Range::Day, minute + 10 * kMinute);
            const Aggregate* point = pointAt(series, minute);
            QVERIFY(point);
            QCOMPARE(point->samples, 12);
            QCOMPARE(point->online, 10);
            QCOMPARE(point->spread[Cpu].min, 0.0);
            QCOMPARE(point->spread[Cpu].max, 55.0);
            QCOMPARE(point->spread[Cpu].mean, 29.5); // (0 + 5 + 10 + 25 + ... + 55) / 10
            QVERIFY(qAbs(point->spread[RxRate].mean - 6900) < 6900 * 0.003); // 69000 / 10
            QVERIFY(qAbs(point->spread[RxRate].max - 12000) < 12000 * 0.003);
            QCOMPARE(series.offline, (QList<Span>{{minute + kMinute, minute + 2 * kMinute}}));
        }
    }

    // Samples stay as they came for 2 hours and as minutes for 14 days, measured when written and
    // again as time goes on.
    void retention_data() {
        QTest::addColumn<qint64>("age");
        QTest::addColumn<qint64>("later");
        QTest::addColumn<bool>("asSample");
        QTest::addColumn<bool>("asMinute");
        QTest::newRow("just inside 2 h") << 119 * kMinute << 0LL << true << true;
        QTest::newRow("aged past 2 h later") << 119 * kMinute << 2 * kMinute << false << true;
        QTest::newRow("past 2 h when written") << 121 * kMinute << 0LL << false << true;
        QTest::newRow("just inside 14 d") << 14 * kDay - kMinute << 0LL << false << true;
        QTest::newRow("aged past 14 d later") << 14 * kDay - kMinute << 2 * kHour << false << false;
        QTest::newRow("past 14 d when written") << 14 * kDay + 31 * kMinute << 0LL << false << false;
    }

    void retention() {
        QFETCH(qint64, age);
        QFETCH(qint64, later);
        QFETCH(bool, asSample);
        QFETCH(bool, asMinute);
        QTemporaryDir dir;
        HistoryDatabase db;
        QVERIFY(db.open(dir.filePath("h.sqlite")));
        const qint64 time = kNow - age;
        QVERIFY2(db.write({sample(time, true, 12.5, 100)}, kNow), qPrintable(db.lastError()));
        if (later > 0)
            QVERIFY(db.write({sample(kNow + later, true, 1, 1)}, kNow + later));

        QCOMPARE(pointAt(seriesOf(db, Range::Hour, time + 1), time) != nullptr, asSample);
        const Aggregate* minute = pointAt(seriesOf(db, Range::Day, time + kMinute), time / kMinute * kMinute);
        QCOMPARE(minute != nullptr, asMinute);
        if (minute)
            QCOMPARE(minute->spread[Cpu].mean, 12.5);
    }

    // Samples and events written before a restart, or before the data directory moved, are there after.
    void survivesReopen_data() {
        QTest::addColumn<bool>("migrate");
        QTest::newRow("restart") << false;
        QTest::newRow("data directory moved") << true;
    }

    void survivesReopen() {
        QFETCH(bool, migrate);
        QTemporaryDir oldDir, newDir;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QList<Sample> cycle;
        for (int i = 1; i <= 24; ++i)
            cycle << sample(now - i * 5000, true, i, 100);
        Event event;
        event.timeMs = now;
        event.nodeId = QStringLiteral("node-a");
        event.kind = EventKind::NodeRecovered;
        event.text = QStringLiteral("节点恢复，离线 00:00:20");
        QString directory = oldDir.path();
        {
            HistoryStore store(directory);
            Sample gone = sample(now - 5000, true, 1, 1);
            gone.nodeId = QStringLiteral("node-gone");
            Event goneEvent = event;
            goneEvent.nodeId = gone.nodeId;
            store.record(cycle + QList<Sample>{gone});
            store.recordEvents({event, goneEvent});
            store.forgetNode(gone.nodeId); // a deleted Node takes its history along
            if (migrate) {
                store.suspend();
                QVERIFY(datadir::copyDataDirectory(oldDir.path(), newDir.path()).ok);
                QVERIFY(QDir(oldDir.path()).removeRecursively()); // only the copy may answer
                directory = newDir.path();
                store.resume(directory);
                store.record({sample(now, true, 50, 100)});
            }
        }
        HistoryStore reopened(directory);
        bool done = false;
        Series series;
        QList<Event> events;
        int unread = -1;
        reopened.queryEvents(10, this, [&](const QList<Event>& list, int count) {
            events = list;
            unread = count;
        });
        Series goneSeries;
        reopened.querySeries(QStringLiteral("node-gone"), Range::Hour, this,
                             [&](const Series& s) { goneSeries = s; });
        reopened.querySeries(QStringLiteral("node-a"), Range::Hour, this, [&](const Series& s) {
            series = s;
            done = true;
        });
        QTRY_VERIFY(done);
        QCOMPARE(series.points.size(), migrate ? 25 : 24);
        QCOMPARE(series.points.first().spread[Cpu].mean, 24.0);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().text, event.text);
        QCOMPARE(unread, 1);
        QVERIFY(goneSeries.points.isEmpty());
        QVERIFY(reopened.isEnabled());
    }

    // A damaged file is renamed aside with its content and history starts afresh; a file another
    // client holds turns history off. Either way the client hears it once and keeps going.
    void troubledFile_data() {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("damaged file") << true << "历史记录文件已损坏，已另存为" << true;
        QTest::newRow("locked by another client") << false << "历史记录已关闭：" << false;
    }

    void troubledFile() {
        QFETCH(bool, damaged);
        QFETCH(QString, notice);
        QFETCH(bool, enabled);
        QTemporaryDir dir;
        const QString path = dir.filePath(HistoryStore::fileName());
        const QByteArray garbage =
            QByteArray("this is no database, just text that happens to be here\n").repeated(200);
        std::unique_ptr<HistoryStore> holder;
        if (damaged) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(garbage);
        } else {
            holder = std::make_unique<HistoryStore>(dir.path());
            bool ready = false;
            holder->queryEvents(1, this, [&](const QList<Event>&, int) { ready = true; });
            QTRY_VERIFY(ready);
        }

        HistoryStore store(dir.path());
        QStringList notices;
        store.setNoticeHandler(this, [&](const QString& text) { notices << text; });
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        store.record({sample(now - 5000, true, 7, 1)});
        store.record({sample(now, true, 8, 1)});
        bool done = false;
        Series series;
        store.querySeries(QStringLiteral("node-a"), Range::Hour, this, [&](const Series& s) {
            series = s;
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
        QTRY_COMPARE(notices.size(), 1);
        QVERIFY2(notices.first().startsWith(notice), qPrintable(notices.first()));
        QCOMPARE(store.isEnabled(), enabled);
        QCOMPARE(series.points.size(), enabled ? 2 : 0);
        if (damaged) {
            const QStringList aside = QDir(dir.path()).entryList({HistoryStore::fileName() + ".damaged-*"});
            QCOMPARE(aside.size(), 1);
            QVERIFY(notices.first().contains(aside.first()));
            QFile kept(dir.filePath(aside.first()));
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), garbage);
        }
        QTest::qWait(50);
        QCOMPARE(notices.size(), 1);
    }
};

ONDIVO_TEST_MAIN_CORE(TestHistoryStore)
#include "tst_historystore.moc"
