#include "proxy/ProxyPages.h"

#include "widgets/PercentTableWidget.h"
#include "proxy/BridgePage.h"
#include "widgets/NodeFilterCombo.h"
#include "proxy/ProxyPage.h"

shell::PageParts createProxyPage(shell::Shell& shell) {
    auto* page = new proxy::ProxyPage(shell);
    shell::PageParts parts;
    parts.widget = page;
    parts.hooks.onSelected = [page] { page->refreshStatuses(); };
    parts.hooks.onStatusTick = [page] { page->refreshStatuses(); };
    parts.hooks.onRefresh = [page] { page->refreshStatuses(); };
    shell.whenEngineActionDone(page, [page](fleet::Engine engine) {
        if (engine == fleet::Engine::Gost)
            page->refreshStatuses();
    });
    return parts;
}

shell::PageParts createBridgePage(shell::Shell& shell) {
    auto* page = new proxy::BridgePage(shell);
    shell::PageParts parts;
    parts.widget = page;
    parts.hooks.onSelected = [page] { page->refreshBridges(false); };
    parts.hooks.onStatusTick = [page] { page->refreshBridges(false); };
    parts.hooks.onRefresh = [page] { page->refreshBridges(true); };
    parts.hooks.onDelete = [page] { page->deleteBridge(); };
    parts.hooks.onActivate = [page] { page->table()->activateCurrentRow(); };
    parts.hooks.onFind = [page] { page->filter()->setFocus(Qt::ShortcutFocusReason); };
    // After GOST was installed, updated or removed the bridges are re-read with their messages.
    shell.whenEngineActionDone(page, [page](fleet::Engine engine) {
        if (engine == fleet::Engine::Gost)
            page->refreshBridges(true);
    });
    return parts;
}
