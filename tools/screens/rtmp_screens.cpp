// Renders the RTMP page against simulated Agents for a visual check: rooms online, offline, disabled,
// a stopped MediaMTX and an unreachable Node, the context menu, the room and log dialogs and a preview
// window. Run under a display (xvfb-run) with an output directory.
#include "FakeShell.h"
#include "ScreensMain.h"
#include "Simulator.h"

#include "app/AppConstants.h"
#include "mainwindow/MainWindow.h"
#include "model/SignInState.h"
#include "net/RequestLayer.h"
#include "streaming/LivePreviewWindow.h"
#include "streaming/RtmpPage.h"
#include "streaming/StreamingPages.h"
#include "ui/Dialogs.h"
#include "webview/WebEngineHost.h"
#include "widgets/PercentTableWidget.h"
#include "widgets/WebViewPane.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

namespace {

void settle(int ms) {
    QTest::qWait(ms);
}

void saveScreen(const QString& path) {
    QApplication::primaryScreen()->grabWindow(0).save(path);
}

// Shows a dialog that the page runs through the dialog seam, saves it and closes it.
std::function<int(QDialog&)> grabDialog(const QString& path, std::function<void(QDialog&)> fill = {}) {
    return [path, fill](QDialog& dialog) {
        if (fill)
            fill(dialog);
        dialog.move(140, 80);
        dialog.show();
        settle(300);
        saveScreen(path);
        dialog.hide();
        return int(QDialog::Rejected);
    };
}

} // namespace

static int drawScreens(const QString& outDir) {
    ui::testing::setScripted(true);
    webview::testing::setRendererSandboxed(true); // screens of the player, whoever runs them

    sim::Simulator simulator;
    simulator.start();
    QList<Node> nodes;
    const char* names[][2] = {{"hk-1", "香港 01"}, {"tokyo-1", "东京 01"}, {"sg-1", "新加坡 01"}};
    for (const auto& [name, display] : names) {
        sim::AgentOptions options;
        options.name = QString::fromUtf8(name);
        const sim::AgentInfo info = simulator.startAgent(options);
        Node node =
            sim::Simulator::agentNode(info, QStringLiteral("srv-") + info.name, QString::fromUtf8(display));
        node.id = info.name;
        nodes << node;
    }
    const QString live =
        simulator.addRtmpRoom(QStringLiteral("hk-1"), QStringLiteral("主直播间")).value("id").toString();
    simulator.setRtmpRoomOnline(QStringLiteral("hk-1"), live, true);
    simulator.addRtmpRoom(QStringLiteral("hk-1"), QStringLiteral("备用直播间"));
    simulator.addRtmpRoom(QStringLiteral("hk-1"), QStringLiteral("夜间回放"), false);
    simulator.addRtmpRoom(QStringLiteral("tokyo-1"), QStringLiteral("东京带货"));
    net::agentRequest(nodes[1], QStringLiteral("POST"), QStringLiteral("/rtmp/stop"), {});
    simulator.stopAgent(QStringLiteral("sg-1"));

    testsupport::FakeShell shell;
    auto* page = new streaming::RtmpPage(shell);
    shell.host(page, true);
    shell.window().move(0, 0);
    shell.window().resize(1260, 420);
    shell.setNodes(nodes);
    page->loadRooms(true);
    if (!QTest::qWaitFor([page] { return !page->isLoading(); }, 15000))
        qWarning("the rooms did not load");
    page->table()->setCurrentCell(0, 0);
    settle(300);
    saveScreen(outDir + QStringLiteral("/rtmp-page.png"));

    std::unique_ptr<QMenu> menu = page->createContextMenu();
    menu->popup(page->table()->viewport()->mapToGlobal(
        page->table()->visualRect(page->table()->model()->index(0, 2)).center()));
    settle(300);
    saveScreen(outDir + QStringLiteral("/rtmp-context-menu.png"));
    menu->hide();
    menu.reset();

    ui::testing::queueDialog(
        grabDialog(outDir + QStringLiteral("/rtmp-room-dialog.png"), [](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("rtmpRoomName"))
                ->setText(QStringLiteral("新品发布会"));
        }));
    page->createRoom();
    page->table()->setCurrentCell(1, 0);
    ui::testing::queueDialog(grabDialog(outDir + QStringLiteral("/rtmp-room-dialog-edit.png")));
    page->editRoom();
    ui::testing::queueDialog(grabDialog(outDir + QStringLiteral("/rtmp-log-dialog.png")));
    page->viewLog();

    page->table()->setCurrentCell(0, 0);
    page->watchLive();
    auto* window = dynamic_cast<LivePreviewWindow*>(shell.adopted.value(0).data());
    if (!window || !QTest::qWaitFor([window] { return window->pane()->loadFinished(); }, 20000))
        qWarning("the preview did not load");
    window->move(0, 0);
    settle(4000); // the player joins the live playlist and plays a few seconds
    window->grab().save(outDir + QStringLiteral("/rtmp-preview-window.png"));

    // The same page in a browser without Media Source Extensions.
    QWebEngineScript hide;
    hide.setSourceCode(QStringLiteral("window.MediaSource = undefined;"));
    hide.setInjectionPoint(QWebEngineScript::DocumentCreation);
    hide.setWorldId(QWebEngineScript::MainWorld);
    window->pane()->view()->page()->scripts().insert(hide);
    window->pane()->view()->reload();
    settle(3000);
    window->grab().save(outDir + QStringLiteral("/rtmp-preview-unsupported.png"));
    window->close();

    // The page inside the real main window, its Nodes loaded from the simulated Cloud API.
    simulator.addAccount(QStringLiteral("demo"), QStringLiteral("demo123456"));
    simulator.addNodes(QStringLiteral("demo"), QStringLiteral("demo123456"), nodes,
                       {QStringLiteral("hk-1"), QStringLiteral("tokyo-1"), QStringLiteral("sg-1")});
    qputenv(app::kCloudApiUrlVariable, simulator.cloudUrl().toUtf8());
    signInState() = {QStringLiteral("demo"), QStringLiteral("demo123456"),
                     simulator.login(QStringLiteral("demo"), QStringLiteral("demo123456"))};
    MainWindow mainWindow;
    QList<shell::PageParts> pages(int(shell::PageId::Count));
    pages[int(shell::PageId::Rtmp)] = streaming::createRtmpPage(mainWindow);
    mainWindow.installPages(pages);
    mainWindow.move(0, 0);
    mainWindow.resize(1260, 560);
    mainWindow.show();
    if (!QTest::qWaitFor([&mainWindow] { return mainWindow.nodes().size() == 3; }, 15000))
        qWarning("the Nodes did not load");
    mainWindow.showPage(shell::PageId::Rtmp);
    pages[int(shell::PageId::Rtmp)].hooks.onSelected();
    settle(1500);
    saveScreen(outDir + QStringLiteral("/rtmp-main-window.png"));
    return 0;
}

int main(int argc, char** argv) {
    return screens::run(argc, argv, drawScreens);
}
