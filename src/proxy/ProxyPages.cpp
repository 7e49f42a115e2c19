#include "proxy/ProxyPages.h"

#include "proxy/BridgePage.h"
#include "proxy/ProxyPage.h"

shell::PageParts createProxyPage(shell::Shell& shell) {
    auto* page = new proxy::ProxyPage(shell);
    shell::PageParts parts;
    parts.widget = page;
    parts.hooks.onSelected = [page] { page->refreshStatuses(); };
    parts.hooks.onStatusTick = [page] { page->refreshStatuses(); };
    return parts;
}

shell::PageParts createBridgePage(shell::Shell& shell) {
    auto* page = new proxy::BridgePage(shell);
    shell::PageParts parts;
    parts.widget = page;
    parts.hooks.onSelected = [page] { page->refreshBridges(false); };
    parts.hooks.onStatusTick = [page] { page->refreshBridges(false); };
    return parts;
}
