#include "proxy/ProxyPages.h"

#include "proxy/BridgePage.h"
#include "proxy/ProxyPage.h"
#include "shell/PageHook.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/PercentTableWidget.h"

namespace proxy {

shell::PageParts createProxyPage(shell::Shell& shell) {
    auto* page = new ProxyPage(shell);
    shell::PageParts parts;
    parts.widget = page;
    parts.hooks.onSelected = shell::pageHook(page, [](ProxyPage& proxies) { proxies.refreshStatuses(); });
    parts.hooks.onStatusTick = shell::pageHook(page, [](ProxyPage& proxies) { proxies.refreshStatuses(); });
    parts.hooks.onRefresh = shell::pageHook(page, [](ProxyPage& proxies) { proxies.refreshStatuses(); });
    shell.whenEngineActionDone(page, [page](fleet::Engine engine) {
        if (engine == fleet::Engine::Gost)
            page->refreshStatuses();
    });
    return parts;
}

shell::PageParts createBridgePage(shell::Shell& shell) {
    auto* page = new BridgePage(shell);
    shell::PageParts parts;
    parts.widget = page;
    parts.hooks.onSelected =
        shell::pageHook(page, [](BridgePage& bridges) { bridges.refreshBridges(false); });
    parts.hooks.onStatusTick =
        shell::pageHook(page, [](BridgePage& bridges) { bridges.refreshBridges(false); });
    parts.hooks.onRefresh = shell::pageHook(page, [](BridgePage& bridges) { bridges.refreshBridges(true); });
    parts.hooks.onDelete = shell::pageHook(page, [](BridgePage& bridges) { bridges.deleteBridge(); });
    parts.hooks.onActivate =
        shell::pageHook(page, [](BridgePage& bridges) { bridges.table()->activateCurrentRow(); });
    parts.hooks.onFind = shell::pageHook(
        page, [](BridgePage& bridges) { bridges.filter()->setFocus(Qt::ShortcutFocusReason); });
    // After GOST was installed, updated or removed the bridges are re-read with their messages.
    shell.whenEngineActionDone(page, [page](fleet::Engine engine) {
        if (engine == fleet::Engine::Gost)
            page->refreshBridges(true);
    });
    return parts;
}

} // namespace proxy
