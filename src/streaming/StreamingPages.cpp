#include "streaming/StreamingPages.h"

#include "shell/PageHook.h"
#include "streaming/LivePage.h"
#include "streaming/RtmpPage.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/PercentTableWidget.h"

namespace streaming {

shell::PageParts createLivePage(shell::Shell& shell) {
    auto* page = new LivePage(shell);
    shell::PageHooks hooks;
    hooks.onSelected = shell::pageHook(page, [](LivePage& live) { live.load(false); });
    hooks.onLiveTick = shell::pageHook(page, [](LivePage& live) { live.pollStatuses(); });
    // A push that dies while another page is shown is still noticed: at the status cadence then.
    hooks.onStatusTick = shell::pageHook(page, [&shell](LivePage& live) {
        if (shell.currentPage() != shell::PageId::Live)
            live.pollWhileHidden();
    });
    hooks.statusTickWhileHidden = true;
    hooks.onReveal = [guard = QPointer<LivePage>(page)](const QString& roomKey) {
        if (guard)
            guard->revealRoom(roomKey);
    };
    hooks.onRefresh = shell::pageHook(page, [](LivePage& live) { live.load(true); });
    hooks.onDelete = shell::pageHook(page, [](LivePage& live) { live.deleteCurrentRoom(); });
    hooks.onActivate = shell::pageHook(page, [](LivePage& live) { live.table()->activateCurrentRow(); });
    hooks.onFind =
        shell::pageHook(page, [](LivePage& live) { live.nodeFilter()->setFocus(Qt::ShortcutFocusReason); });
    return {page, hooks};
}

shell::PageParts createRtmpPage(shell::Shell& shell) {
    auto* page = new RtmpPage(shell);
    shell::PageHooks hooks;
    hooks.onSelected = shell::pageHook(page, [](RtmpPage& rtmp) { rtmp.loadRooms(false); });
    hooks.onStatusTick = shell::pageHook(page, [](RtmpPage& rtmp) { rtmp.loadRooms(false); });
    hooks.onRefresh = shell::pageHook(page, [](RtmpPage& rtmp) { rtmp.loadRooms(true); });
    hooks.onDelete = shell::pageHook(page, [](RtmpPage& rtmp) { rtmp.deleteRoom(); });
    hooks.onActivate = shell::pageHook(page, [](RtmpPage& rtmp) { rtmp.table()->activateCurrentRow(); });
    hooks.onFind =
        shell::pageHook(page, [](RtmpPage& rtmp) { rtmp.nodeFilter()->setFocus(Qt::ShortcutFocusReason); });
    shell.whenEngineActionDone(page, [page](fleet::Engine engine) {
        if (engine == fleet::Engine::MediaMtx)
            page->loadRooms(false);
    });
    return {page, hooks};
}

} // namespace streaming
