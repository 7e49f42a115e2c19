#include "client/ClientWindow.h"

#include "account/LoginDialog.h"
#include "app/AppConstants.h"
#include "client/EndOnSignals.h"
#include "console/KeyFolder.h"
#include "files/FilesPages.h"
#include "history/FleetBar.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/NodesPages.h"
#include "proxy/ProxyPages.h"
#include "settings/SettingsPages.h"
#include "streaming/StreamingPages.h"

#include <QApplication>
#include <QDialog>
#include <QDir>

std::unique_ptr<MainWindow> createClientWindow() {
    auto window = std::make_unique<MainWindow>();
    shell::Shell& shell = *window;
    // In navigation order.
    QList<shell::PageParts> pages(int(shell::PageId::Count));
    pages[int(shell::PageId::Nodes)] = mainwindow::createNodesPage(shell);
    pages[int(shell::PageId::Proxy)] = proxy::createProxyPage(shell);
    pages[int(shell::PageId::Bridge)] = proxy::createBridgePage(shell);
    pages[int(shell::PageId::Live)] = streaming::createLivePage(shell);
    pages[int(shell::PageId::Rtmp)] = streaming::createRtmpPage(shell);
    pages[int(shell::PageId::Files)] = files::createFilesPage(shell);
    pages[int(shell::PageId::Settings)] = settings::createSettingsPage(shell);
    window->installPages(pages);
    MainWindow* main = window.get();
    shell.addToTopBar(
        new history::FleetBar(shell, *shell.fleetHistory(), [main](const history::Event& event) {
            if (event.roomKey.isEmpty())
                main->reveal(shell::PageId::Nodes, event.nodeId);
            else
                main->reveal(shell::PageId::Live, event.roomKey);
        }));
    return window;
}

namespace {

constexpr int kSignedIn = 1;

// Runs the sign-in dialog in the application's own loop; true once the user has signed in. Every step of
// the client runs in that loop (not in a nested one) because an application quit ends every nested loop
// started after it as well, and the client comes back here after signing out.
bool signIn() {
    LoginDialog login;
    QObject::connect(&login, &QDialog::finished, &login,
                     [](int result) { QCoreApplication::exit(result == QDialog::Accepted ? kSignedIn : 0); });
    login.show();
    const bool signedIn = QApplication::exec() == kSignedIn;
    client::deleteClosedWindows();
    return signedIn;
}

} // namespace

int runClient() {
    QApplication::setOrganizationName(QString::fromLatin1(app::kOrganizationName));
    QApplication::setApplicationName(QString::fromLatin1(app::kApplicationName));
    // Each step ends its loop itself; the dialog hiding after a sign-in must not end the application.
    QApplication::setQuitOnLastWindowClosed(false);
    client::endOnTerminationSignals();
    // A client that crashed or was killed outright had no chance to remove its key folders.
    console::sweepStaleKeyFolders(QDir::tempPath());

    while (signIn()) {
        auto window = createClientWindow();
        window->setOnClosed([] { QCoreApplication::exit(0); });
        window->show();
        const int code = QApplication::exec();
        // The Node and preview windows closed with the main window end here, and their ssh sessions with
        // them.
        client::deleteClosedWindows();
        const bool signedOut = window->signedOut();
        // Destroyed before the next sign-in dialog, whatever the loop returned.
        window.reset();
        if (!signedOut)
            return code;
    }
    return 0;
}
