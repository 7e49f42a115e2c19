#include "client/ClientWindow.h"

#include "mainwindow/MainWindow.h"
#include "mainwindow/NodesPage.h"
#include "settings/SettingsPage.h"

std::unique_ptr<MainWindow> createClientWindow() {
    auto window = std::make_unique<MainWindow>();
    shell::Shell& shell = *window;
    // In navigation order; a page not built yet stays an empty placeholder.
    QList<shell::PageParts> pages(int(shell::PageId::Count));
    pages[int(shell::PageId::Nodes)] = createNodesPage(shell);
    pages[int(shell::PageId::Settings)] = createSettingsPage(shell);
    window->installPages(pages);
    return window;
}
