#include "TestMain.h"
#include "history/EventDetector.h"

using namespace history;

// A poll every 5 s; each event is written "<poll index>:<text>".
class TestEventDetector : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nodeEvents_data() {
        QTest::addColumn<QString>("polls"); // "ok", "ok<disk %>", "-" (no answer)
        QTest::addColumn<QStringList>("events");
        QTest::newRow("one lost reply is not an outage") << "ok - ok - ok" << QStringList();
        QTest::newRow("two lost replies: offline, then back with the time away")
            << "ok - - - ok" << QStringList{"2:节点离线", "4:节点恢复，离线 00:00:15"};
        QTest::newRow("an outage is reported once") << "- - - - -" << QStringList{"1:节点离线"};
        QTest::newRow("disk at 90 % once while it stays at 85 % or above")
            << "ok89.9 ok90 ok95 ok85 ok91" << QStringList{"1:磁盘将满：已用 90.0%"};
        QTest::newRow("disk below 85 % arms the rule again")
            << "ok92 ok84.9 ok90" << QStringList{"0:磁盘将满：已用 92.0%", "2:磁盘将满：已用 90.0%"};
        QTest::newRow("an outage keeps the disk state")
            << "ok91 - - ok91"
            << QStringList{"0:磁盘将满：已用 91.0%", "2:节点离线", "3:节点恢复，离线 00:00:10"};
    }

    void nodeEvents() {
        QFETCH(QString, polls);
        QFETCH(QStringList, events);
        EventDetector detector;
        QStringList seen;
        const QStringList steps = polls.split(QLatin1Char(' '));
        for (int i = 0; i < steps.size(); ++i) {
            NodeObservation poll;
            poll.nodeId = QStringLiteral("n1");
            poll.timeMs = 1'000'000 + i * 5000LL;
            poll.answered = steps[i].startsWith(QLatin1String("ok"));
            poll.diskPercent = steps[i].size() > 2 ? steps[i].mid(2).toDouble() : -1;
            for (const Event& event : detector.nodePolled(poll)) {
                QCOMPARE(event.nodeId, poll.nodeId);
                QCOMPARE(event.timeMs, poll.timeMs);
                seen << QStringLiteral("%1:%2").arg(i).arg(event.text);
            }
        }
        QCOMPARE(seen, events);
    }

    void pushEvents_data() {
        // a status ("error:<last error>"), "?" (no answer), "user" (stop asked), "refused" (stop refused)
        QTest::addColumn<QString>("polls");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("failure with its last error")
            << "streaming error:连接被拒绝" << QStringList{"1:推流中断：直播1：连接被拒绝"};
        QTest::newRow("stopped without the user")
            << "streaming streaming stopped" << QStringList{"2:推流中断：直播1"};
        QTest::newRow("retrying, then given up")
            << "streaming retrying error:超时" << QStringList{"2:推流中断：直播1：超时"};
        QTest::newRow("a stop by the user is no interruption") << "streaming user stopped" << QStringList();
        QTest::newRow("the user's stop covers one end only")
            << "streaming user stopped streaming stopped" << QStringList{"4:推流中断：直播1"};
        QTest::newRow("an unanswered status poll says nothing")
            << "streaming ? streaming ? stopped" << QStringList{"4:推流中断：直播1"};
        QTest::newRow("a room that never streamed") << "stopped error:x draft" << QStringList();
        QTest::newRow("a refused stop leaves the push watched")
            << "streaming user refused streaming error:断开" << QStringList{"4:推流中断：直播1：断开"};
    }

    void pushEvents() {
        QFETCH(QString, polls);
        QFETCH(QStringList, events);
        EventDetector detector;
        QStringList seen;
        const QStringList steps = polls.split(QLatin1Char(' '));
        for (int i = 0; i < steps.size(); ++i) {
            if (steps[i] == QLatin1String("user")) {
                detector.userStopped(QStringLiteral("n1/r1"));
                continue;
            }
            if (steps[i] == QLatin1String("refused")) {
                detector.stopRefused(QStringLiteral("n1/r1"));
                continue;
            }
            RoomObservation poll;
            poll.roomKey = QStringLiteral("n1/r1");
            poll.nodeId = QStringLiteral("n1");
            poll.roomName = QStringLiteral("直播1");
            poll.timeMs = 1'000'000 + i * 5000LL;
            poll.answered = steps[i] != QLatin1String("?");
            poll.status = steps[i].section(QLatin1Char(':'), 0, 0);
            poll.lastError = steps[i].section(QLatin1Char(':'), 1);
            for (const Event& event : detector.roomPolled(poll)) {
                QCOMPARE(event.roomKey, poll.roomKey);
                QCOMPARE(event.kind, EventKind::PushInterrupted);
                seen << QStringLiteral("%1:%2").arg(i).arg(event.text);
            }
        }
        QCOMPARE(seen, events);
    }
};

ONDIVO_TEST_MAIN_CORE(TestEventDetector)
#include "tst_eventdetector.moc"
