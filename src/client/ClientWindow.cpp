#include "client/ClientWindow.h"

#include "account/LoginDialog.h"
#include "app/AppConstants.h"
#include "files/FilesPages.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/NodesPage.h"
#include "proxy/ProxyPages.h"
#include "settings/SettingsPage.h"
#include "streaming/LivePageFactory.h"
#include "streaming/RtmpPageFactory.h"

#include <QApplication>
#include <QDialog>

std::unique_ptr<MainWindow> createClientWindow() {
    auto window = std::make_unique<MainWindow>();
    shell::Shell& shell = *window;
    // In navigation order.
    QList<shell::PageParts> pages(int(shell::PageId::Count));
    pages[int(shell::PageId::Nodes)] = createNodesPage(shell);
    pages[int(shell::PageId::Proxy)] = createProxyPage(shell);
    pages[int(shell::PageId::Bridge)] = createBridgePage(shell);
    pages[int(shell::PageId::Live)] = streaming::createLivePage(shell);
    pages[int(shell::PageId::Rtmp)] = streaming::createRtmpPage(shell);
    pages[int(shell::PageId::Files)] = createFilesPage(shell);
    pages[int(shell::PageId::Settings)] = createSettingsPage(shell);
    window->installPages(pages);
    return window;
}

int runClient() {
    QApplication::setOrganizationName(QString::fromLatin1(app::kOrganizationName));
    QApplication::setApplicationName(QString::fromLatin1(app::kApplicationName));

    LoginDialog login;
    if (login.exec() != QDialog::Accepted)
        return 0;

    // Destroyed before the sign-in dialog, whatever the event loop returns.
    auto window = createClientWindow();
    window->show();
    const int code = QApplication::exec();
    window.reset();
    return code;
}
