#include "TestMain.h"

#include "account/AccountTiming.h"
#include "console/ConsoleTiming.h"
#include "files/FilesTiming.h"
#include "fleet/FleetTiming.h"
#include "history/HistoryTiming.h"
#include "mainwindow/MainWindowTiming.h"
#include "net/RequestTiming.h"
#include "proxy/ProxyTiming.h"
#include "settings/SettingsTiming.h"
#include "streaming/StreamingTiming.h"
#include "updater/UpdaterTiming.h"

#include <QtTest>

namespace {

void shortenEveryFolder() {
    account::timing.proxyTestTimeoutMs = 1;
    console::timing.assetIdleMs = 1;
    files::timing.thirdRetryMs = 1;
    fleet::timing.handOverGatherMs = 1;
    history::timing.trendMs = 1;
    mainwindow::timing.afterUpdateRefreshMs = 1;
    net::timing.longOperationIdleTimeoutMs = 1;
    proxy::timing.pollIdleMs = 1;
    settings::timing.versionCheckDelayMs = 1;
    streaming::timing.rtmpStatusIdleTimeoutMs = 1;
    updater::timing.segmentBytes = 1;
}

QStringList foldersNotAtDefault() {
    QStringList folders;
    auto check = [&folders](const char* folder, bool atDefault) {
        if (!atDefault)
            folders << QString::fromLatin1(folder);
    };
    check("account", account::timing == account::AccountTiming{});
    check("console", console::timing == console::ConsoleTiming{});
    check("files", files::timing == files::FilesTiming{});
    check("fleet", fleet::timing == fleet::FleetTiming{});
    check("history", history::timing == history::HistoryTiming{});
    check("mainwindow", mainwindow::timing == mainwindow::MainWindowTiming{});
    check("net", net::timing == net::RequestTiming{});
    check("proxy", proxy::timing == proxy::ProxyTiming{});
    check("settings", settings::timing == settings::SettingsTiming{});
    check("streaming", streaming::timing == streaming::StreamingTiming{});
    check("updater", updater::timing == updater::UpdaterTiming{});
    return folders;
}

} // namespace

// Durations shortened by initTestCase() or by an earlier test function (or data row) are back at their
// defaults when the next one starts, before its init(); what init() shortens stays for its function.
class TestTimingReset : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { shortenEveryFolder(); }

    void init() {
        QCOMPARE(foldersNotAtDefault(), QStringList());
        net::timing.blockingIdleTimeoutMs = 7;
    }

    void everyFunctionStartsFromTheDefaults_data() {
        QTest::addColumn<int>("unused");
        QTest::newRow("first") << 1;
        QTest::newRow("second") << 2;
    }
    void everyFunctionStartsFromTheDefaults() {
        QCOMPARE(net::timing.blockingIdleTimeoutMs, 7);
        net::timing.blockingIdleTimeoutMs = net::RequestTiming{}.blockingIdleTimeoutMs;
        QCOMPARE(foldersNotAtDefault(), QStringList());
        shortenEveryFolder();
    }
    void aFunctionWithoutRows() { QCOMPARE(net::timing.blockingIdleTimeoutMs, 7); }
};

ONDIVO_TEST_MAIN_CORE(TestTimingReset)
#include "tst_timingreset.moc"
