#include "TestMain.h"

#include "app/ContextCallbacks.h"

#include <memory>
#include <utility>

class TestContextCallbacks : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dropsCallbacksWhoseContextIsGone_data() {
        QTest::addColumn<QList<int>>("goneBefore"); // contexts deleted before the first run
        QTest::addColumn<int>("killedByFirst");     // context the first callback deletes (-1: none)
        QTest::addColumn<bool>("firstAdds");        // the first callback registers callback 9
        QTest::addColumn<QList<int>>("firstRun");
        QTest::addColumn<QList<int>>("secondRun");
        QTest::newRow("all living") << QList<int>{} << -1 << false << QList<int>{0, 1, 2}
                                    << QList<int>{0, 1, 2};
        QTest::newRow("one gone") << QList<int>{1} << -1 << false << QList<int>{0, 2} << QList<int>{0, 2};
        QTest::newRow("all gone") << QList<int>{0, 1, 2} << -1 << false << QList<int>{} << QList<int>{};
        QTest::newRow("dies during the run")
            << QList<int>{} << 2 << false << QList<int>{0, 1} << QList<int>{0, 1};
        QTest::newRow("added during the run")
            << QList<int>{} << -1 << true << QList<int>{0, 1, 2} << QList<int>{0, 1, 2, 9};
    }
    void dropsCallbacksWhoseContextIsGone() {
        QFETCH(QList<int>, goneBefore);
        QFETCH(int, killedByFirst);
        QFETCH(bool, firstAdds);
        QFETCH(QList<int>, firstRun);
        QFETCH(QList<int>, secondRun);
        std::unique_ptr<QObject> contexts[3] = {std::make_unique<QObject>(), std::make_unique<QObject>(),
                                                std::make_unique<QObject>()};
        QObject keeper;
        app::ContextCallbacks<int> list;
        QList<int> calls;
        bool added = false;
        list.add(contexts[0].get(), [&](int) {
            calls << 0;
            if (killedByFirst >= 0)
                contexts[killedByFirst].reset();
            if (firstAdds && !std::exchange(added, true))
                list.add(&keeper, [&](int) { calls << 9; });
        });
        for (int i : {1, 2})
            list.add(contexts[i].get(), [&calls, i](int) { calls << i; });
        for (int i : goneBefore)
            contexts[i].reset();
        list.run(0);
        QCOMPARE(calls, firstRun);
        QCOMPARE(list.size(), secondRun.size());
        calls.clear();
        list.run(0);
        QCOMPARE(calls, secondRun);
    }
};

ONDIVO_TEST_MAIN_CORE(TestContextCallbacks)
#include "tst_contextcallbacks.moc"
