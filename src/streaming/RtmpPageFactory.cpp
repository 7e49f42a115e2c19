#include "streaming/RtmpPageFactory.h"

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
    shell.whenEngineActionDone(page, [guard](fleet::Engine engine) {
        if (guard && engine == fleet::Engine::MediaMtx)
            guard->loadRooms(false);
    });
    return parts;
}

} // namespace streaming
