#include "settings/SettingsPages.h"

#include "settings/ClientUpdate.h"
#include "settings/SettingsPage.h"
#include "shell/PageHook.h"

namespace settings {

shell::PageParts createSettingsPage(shell::Shell& shell) {
    auto* page = new SettingsPage(shell);
    page->clientUpdate().installInTopBar();
    shell::PageHooks hooks;
    hooks.onSelected =
        shell::pageHook(page, [](SettingsPage& settingsPage) { settingsPage.showStoredAutoSignIn(); });
    return {page, hooks};
}

} // namespace settings
