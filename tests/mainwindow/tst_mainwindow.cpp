#include "RecordingServer.h"
#include "TestMain.h"

#include "app/Settings.h"
#include "app/UiText.h"
#include "client/ClientWindow.h"
#include "console/NodeWindow.h"
#include "fleet/PollCycle.h"
#include "mainwindow/LoadingOverlay.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowTiming.h"
#include "mainwindow/TopNavBar.h"
#include "model/SignInState.h"
#include "net/RequestLayer.h"
#include "settings/SettingsTiming.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

using testsupport::RecordingServer;

namespace {

const char* const kNavKeys[] = {"nav.nodes", "nav.proxy", "nav.bridge",  "nav.live",
                                "nav.rtmp",  "nav.files", "nav.settings"};

// Key presses delivered the way the window system delivers them: to the window's focus widget.
void typeInto(QWindow* window, const char* text) {
    for (const char* c = text; *c; ++c)
        QTest::keyClick(window, Qt::Key(Qt::Key_A + (*c - 'a')), {});
}

constexpr int kPageCount = int(shell::PageId::Count);

int pageIndex(shell::PageId page) {
    return int(page);
}

// Puts one page with its hooks into the window's slot for it.
void installPage(MainWindow& window, shell::PageId id, QWidget* page, shell::PageHooks hooks = {}) {
    QList<shell::PageParts> pages(kPageCount);
    pages[int(id)] = {page, std::move(hooks)};
    window.installPages(pages);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingServer> cloud;

    std::unique_ptr<MainWindow> openWindow() {
        auto window = std::make_unique<MainWindow>();
        return window;
    }

    // Lets the queued start-up load run to its end.
    static void waitForStartupLoad(MainWindow& window) {
        QTRY_VERIFY(window.statusText().contains(QStringLiteral("云端节点")));
    }

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        ui::testing::setScripted(true);
        ui::testing::reset();
        signInState() = {QStringLiteral("alice"), QStringLiteral("pw"), QStringLiteral("tok")};
        cloud = std::make_unique<RecordingServer>();
        cloud->setDefaultReply(RecordingServer::json(200, "{\"nodes\":[]}"));
        qputenv("ONDIVO_CLOUD_API_URL", cloud->baseUrl().toUtf8());
    }
    void cleanup() {
        QVERIFY(!QApplication::overrideCursor());
        cloud.reset();
    }

    void opensWithNodesPageAndDefaults() {
        auto window = openWindow();
        QCOMPARE(window->windowTitle(), QStringLiteral("Ondivo"));
        QCOMPARE(window->size(), QSize(1060, 680));
        QCOMPARE(window->statusText(), QStringLiteral("已登录 alice"));
        QCOMPARE(window->pageStack()->count(), kPageCount);
        QCOMPARE(window->currentPage(), shell::PageId::Nodes);
        QCOMPARE(window->navigationBar()->objectName(), QStringLiteral("topNavBar"));
        const auto& buttons = window->navigationBar()->buttons();
        QCOMPARE(buttons.size(), 7);
        for (int i = 0; i < buttons.size(); ++i) {
            QCOMPARE(buttons[i]->text(), app::uiText(QString::fromLatin1(kNavKeys[i])));
            QVERIFY(buttons[i]->isCheckable());
            QCOMPARE(buttons[i]->isChecked(), i == 0);
            QCOMPARE(buttons[i]->iconSize(), QSize(18, 18));
            QVERIFY(!buttons[i]->icon().isNull());
        }
        QCOMPARE(buttons[3]->text(), QStringLiteral("直播"));
        QCOMPARE(window->statusPollTimer()->interval(), 5000);
        QCOMPARE(window->livePollTimer()->interval(), 1000);
        QVERIFY(window->statusPollTimer()->isActive());
        QVERIFY(window->livePollTimer()->isActive());
        QVERIFY(!window->loadingOverlay()->isVisible());
        QCOMPARE(window->loadingOverlay()->objectName(), QStringLiteral("loadingOverlay"));
        waitForStartupLoad(*window);
    }

    void composedWindowHasTheNodesAndSettingsPages() {
        settings::timing.versionCheckDelayMs = 600000;
        auto window = createClientWindow();
        QCOMPARE(window->page(pageIndex(shell::PageId::Nodes))->objectName(), QStringLiteral("nodesPage"));
        QCOMPARE(window->page(pageIndex(shell::PageId::Settings))->objectName(),
                 QStringLiteral("settingsPage"));
        // The version label sits at the end of the top bar.
        QVERIFY(window->navigationBar()->findChild<QLabel*>(QStringLiteral("versionLabel")));
        waitForStartupLoad(*window);
    }

    void statusLineAfterStartupLoad() {
        auto window = openWindow();
        QCOMPARE(window->statusText(), QStringLiteral("已登录 alice"));
        waitForStartupLoad(*window);
        QCOMPARE(window->statusText(), QStringLiteral("已登录 alice    云端节点: 0"));
        QCOMPARE(window->busyCount(), 0);
        QCOMPARE(cloud->requests().size(), 1);
        QCOMPARE(cloud->lastRequest().path, QByteArray("/api/cloud/nodes"));
        QCOMPARE(cloud->lastRequest().header("Authorization"), QByteArray("Bearer tok"));
    }

    void navigationChecksOnlyTheClickedButton() {
        auto window = openWindow();
        waitForStartupLoad(*window);
        QList<int> selected;
        QList<shell::PageParts> pages;
        for (int page = 0; page < kPageCount; ++page)
            pages.append({new QWidget, {[&selected, page] { selected << page; }, {}, {}}});
        window->installPages(pages);
        const auto& buttons = window->navigationBar()->buttons();
        for (int index : {4, 1, 6, 0, 4}) {
            buttons[index]->click();
            QCOMPARE(int(window->currentPage()), index);
            for (int i = 0; i < buttons.size(); ++i)
                QCOMPARE(buttons[i]->isChecked(), i == index);
        }
        QCOMPARE(selected, (QList<int>{4, 1, 6, 0, 4}));
    }

    // A message stays with the page that wrote it: another page shows its own line (or the fleet line
    // when it wrote none), and coming back shows the message again.
    void statusLineFollowsThePage() {
        auto window = openWindow();
        waitForStartupLoad(*window);
        QList<shell::PageParts> pages;
        for (int page = 0; page < kPageCount; ++page)
            pages.append(shell::PageParts{new QWidget, {}});
        window->installPages(pages);
        const auto& buttons = window->navigationBar()->buttons();
        const QString fleetLine = window->statusText();
        buttons[1]->click();
        window->setStatusText(QStringLiteral("socks5://u:secret@h:1"));
        buttons[2]->click();
        QCOMPARE(window->statusText(), fleetLine);
        window->setBusy(QStringLiteral("..."), true);
        window->setBusy(QStringLiteral("done 2"), false);
        buttons[1]->click();
        QCOMPARE(window->statusText(), QStringLiteral("socks5://u:secret@h:1"));
        buttons[2]->click();
        QCOMPARE(window->statusText(), QStringLiteral("done 2"));
    }

    void replacedPageKeepsItsSlot() {
        auto window = openWindow();
        waitForStartupLoad(*window);
        auto* files = new QLabel(QStringLiteral("files"));
        int selections = 0;
        installPage(*window, shell::PageId::Files, files, {[&selections] { ++selections; }, {}, {}});
        QCOMPARE(window->page(pageIndex(shell::PageId::Files)), static_cast<QWidget*>(files));
        QCOMPARE(window->pageStack()->count(), kPageCount);
        window->navigationBar()->buttons()[pageIndex(shell::PageId::Files)]->click();
        QCOMPARE(window->pageStack()->currentWidget(), static_cast<QWidget*>(files));
        QCOMPARE(selections, 1);
    }

    void busyStateNests() {
        auto window = openWindow();
        window->show();
        waitForStartupLoad(*window);
        LoadingOverlay* overlay = window->loadingOverlay();

        window->setBusy(QStringLiteral("a"), true);
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->title(), QStringLiteral("a"));
        QCOMPARE(overlay->hint(), QStringLiteral("请稍候"));
        QVERIFY(QApplication::overrideCursor());
        window->setBusy(QStringLiteral("b"), true);
        QCOMPARE(overlay->title(), QStringLiteral("b"));
        QCOMPARE(window->busyCount(), 2);
        window->setBusy(QStringLiteral("c"), false);
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->title(), QStringLiteral("c"));
        QCOMPARE(window->statusText(), QStringLiteral("c"));
        QCOMPARE(window->busyCount(), 1);
        window->setBusyText(QStringLiteral("still working"));
        QCOMPARE(overlay->title(), QStringLiteral("still working"));
        QCOMPARE(window->busyCount(), 1);
        window->setBusy(QStringLiteral("d"), false);
        QVERIFY(!overlay->isVisible());
        QCOMPARE(window->statusText(), QStringLiteral("d"));
        QVERIFY(!QApplication::overrideCursor());

        // Unbalanced off and text changes while idle touch only the status line.
        window->setBusy(QStringLiteral("e"), false);
        QCOMPARE(window->busyCount(), 0);
        QCOMPARE(window->statusText(), QStringLiteral("e"));
        window->setBusyText(QStringLiteral("f"));
        QVERIFY(!overlay->isVisible());
        QCOMPARE(window->statusText(), QStringLiteral("f"));
        window->setBusy(QStringLiteral("g"), true);
        QVERIFY(overlay->isVisible());
        window->setBusy(QStringLiteral("h"), false);
        QVERIFY(!overlay->isVisible());
    }

    void overlayShowMessageDefaults() {
        auto window = openWindow();
        window->show();
        waitForStartupLoad(*window);
        window->loadingOverlay()->showMessage(QString(), QString());
        QCOMPARE(window->loadingOverlay()->title(), QStringLiteral("处理中..."));
        QCOMPARE(window->loadingOverlay()->hint(), QStringLiteral("请稍候"));
        window->loadingOverlay()->hide();
    }

    void overlayCoversWindowWhileResized() {
        auto window = openWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        waitForStartupLoad(*window);
        window->setBusy(QStringLiteral("busy"), true);
        QCOMPARE(window->loadingOverlay()->geometry(), window->rect());
        window->resize(1300, 900);
        QTRY_COMPARE(window->size(), QSize(1300, 900));
        QCOMPARE(window->loadingOverlay()->geometry(), window->rect());
        window->resize(800, 500);
        QTRY_COMPARE(window->loadingOverlay()->geometry(), window->rect());
        window->setBusy(QStringLiteral("done"), false);
    }

    void overlayBlocksMouseAndKeys() {
        auto window = openWindow();
        auto* field = new QLineEdit;
        installPage(*window, shell::PageId::Proxy, field);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        waitForStartupLoad(*window);
        QWindow* handle = window->windowHandle();
        QPushButton* proxyButton = window->navigationBar()->buttons()[pageIndex(shell::PageId::Proxy)];
        const QPoint buttonCentre = proxyButton->mapTo(window.get(), proxyButton->rect().center());

        window->setBusy(QStringLiteral("busy"), true);
        QTest::mouseClick(handle, Qt::LeftButton, {}, buttonCentre);
        QCOMPARE(window->currentPage(), shell::PageId::Nodes);
        QVERIFY(!proxyButton->isChecked());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window->loadingOverlay()));
        QTest::keyClick(handle, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window->loadingOverlay()));
        window->setBusy(QStringLiteral("done"), false);

        QTest::mouseClick(handle, Qt::LeftButton, {}, buttonCentre);
        QCOMPARE(window->currentPage(), shell::PageId::Proxy);
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        window->setBusy(QStringLiteral("busy"), true);
        typeInto(handle, "abc");
        QCOMPARE(field->text(), QString());
        window->setBusy(QStringLiteral("done"), false);
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        typeInto(handle, "abc");
        QCOMPARE(field->text(), QStringLiteral("abc"));
    }

    void geometrySavedOnCloseAndRestored() {
        {
            auto window = openWindow();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            waitForStartupLoad(*window);
            window->resize(1200, 760);
            QTRY_COMPARE(window->size(), QSize(1200, 760));
            window->close();
        }
        QVERIFY(!settings::readBytes(settings::key::mainGeometry).isEmpty());
        QVERIFY(!settings::readBytes(settings::key::mainState).isEmpty());
        auto reopened = openWindow();
        QCOMPARE(reopened->size(), QSize(1200, 760));
        waitForStartupLoad(*reopened);
    }

    void closingTheWindowClosesItsNodeWindows() {
        auto window = openWindow();
        window->show();
        waitForStartupLoad(*window);
        Node node;
        node.name = QStringLiteral("srv");
        QPointer<NodeWindow> nodeWindow = new NodeWindow(node);
        nodeWindow->setAttribute(Qt::WA_DeleteOnClose);
        window->adoptWindow(nodeWindow);
        nodeWindow->show();
        QPointer<QWidget> unrelated = new QWidget;
        unrelated->show();
        window->close();
        QTRY_VERIFY(nodeWindow.isNull());
        QVERIFY(!unrelated.isNull() && unrelated->isVisible());
        delete unrelated;
    }

    void timersDriveOnlyTheShownPage() {
        mainwindow::timing.statusPollMs = 20;
        mainwindow::timing.livePollMs = 20;
        auto window = openWindow();
        waitForStartupLoad(*window);
        QList<int> statusTicks(kPageCount, 0);
        QList<int> liveTicks(kPageCount, 0);
        QList<shell::PageParts> pages;
        for (int page = 0; page < kPageCount; ++page) {
            shell::PageHooks hooks{{}, {}, {}};
            // As composed: the nodes page polls whatever page is shown, three pages refresh with it.
            const auto id = shell::PageId(page);
            if (id == shell::PageId::Nodes || id == shell::PageId::Proxy || id == shell::PageId::Bridge ||
                id == shell::PageId::Rtmp)
                hooks.onStatusTick = [&statusTicks, page] {
                    ++statusTicks[page];
                };
            if (id == shell::PageId::Live)
                hooks.onLiveTick = [&liveTicks, page] {
                    ++liveTicks[page];
                };
            hooks.statusTickWhileHidden = page == pageIndex(shell::PageId::Nodes);
            pages.append({new QWidget, hooks});
        }
        window->installPages(pages);

        for (shell::PageId page : {shell::PageId::Proxy, shell::PageId::Bridge, shell::PageId::Rtmp}) {
            window->showPage(page);
            QTRY_VERIFY(statusTicks[int(page)] >= 2);
        }
        window->showPage(shell::PageId::Live);
        QTRY_VERIFY(liveTicks[pageIndex(shell::PageId::Live)] >= 2);
        const int proxyTicks = statusTicks[pageIndex(shell::PageId::Proxy)];
        const int liveTicksWhileShown = liveTicks[pageIndex(shell::PageId::Live)];
        window->showPage(shell::PageId::Files);
        QTest::qWait(100);
        window->showPage(shell::PageId::Settings);
        QTest::qWait(100);

        QVERIFY(statusTicks[pageIndex(shell::PageId::Nodes)] >= 4);
        QCOMPARE(statusTicks[pageIndex(shell::PageId::Proxy)], proxyTicks);
        for (shell::PageId page : {shell::PageId::Live, shell::PageId::Files, shell::PageId::Settings})
            QCOMPARE(statusTicks[int(page)], 0);
        // Hidden, the live page gets no more live ticks.
        QVERIFY(liveTicks[pageIndex(shell::PageId::Live)] <= liveTicksWhileShown + 1);
    }

    // Every poller goes out through the stored proxy once the window applies it.
    void pollersFollowStoredProxy() {
        auto window = openWindow();
        waitForStartupLoad(*window);
        RecordingServer proxy;
        settings::writeText(settings::key::networkMode, QStringLiteral("localProxy"));
        settings::writeText(settings::key::proxyType, QStringLiteral("http"));
        settings::writeText(settings::key::proxyHost, QStringLiteral("127.0.0.1"));
        settings::writeText(settings::key::proxyPort, QString::number(proxy.port()));
        window->applyNetworkProxy();
        for (shell::PollKind kind :
             {shell::PollKind::NodeStatus, shell::PollKind::ProxyStatus, shell::PollKind::BridgeStatus,
              shell::PollKind::LiveStatus, shell::PollKind::RtmpStatus}) {
            proxy.clear();
            bool delivered = false;
            QNetworkRequest request(QUrl(QStringLiteral("http://agent.invalid:39271/status")));
            window->poller(kind).send({{QStringLiteral("n"), request}}, window.get(), {},
                                      [&delivered](const fleet::PollReply&) { delivered = true; });
            QTRY_VERIFY(delivered);
            QCOMPARE(proxy.requests().size(), 1);
            QVERIFY(proxy.lastRequest().path.contains("agent.invalid:39271/status"));
        }
    }
};
ONDIVO_TEST_MAIN_GUI(TestMainWindow)
#include "tst_mainwindow.moc"
