#include "streaming/RtmpPageFactory.h"

#include "widgets/PercentTableWidget.h"
#include "widgets/NodeFilterCombo.h"
#include "streaming/RtmpPage.h"

#include <QPointer>

namespace streaming {

shell::PageParts createRtmpPage(shell::Shell& shell) {
    auto* page = new RtmpPage(shell);
    const QPointer<RtmpPage> guard(page);
    shell::PageParts parts;
    parts.widget = page;
    parts.hooks.onSelected = [guard] {
        if (guard)
            guard->loadRooms(false);
    };
    parts.hooks.onStatusTick = [guard] {
        if (guard)
            guard->loadRooms(false);
    };
    parts.hooks.onRefresh = [guard] {
        if (guard)
            guard->loadRooms(true);
    };
    parts.hooks.onDelete = [guard] {
        if (guard)
            guard->deleteRoom();
    };
    parts.hooks.onActivate = [guard] {
        if (guard)
            guard->table()->activateCurrentRow();
    };
    parts.hooks.onFind = [guard] {
        if (guard)
            guard->nodeFilter()->setFocus(Qt::ShortcutFocusReason);
    };
    shell.whenEngineActionDone(page, [guard](fleet::Engine engine) {
        if (guard && engine == fleet::Engine::MediaMtx)
            guard->loadRooms(false);
    });
    return parts;
}

} // namespace streaming
