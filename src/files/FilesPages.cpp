#include "files/FilesPages.h"

#include "files/FilesPage.h"
#include "shell/PageHook.h"
#include "widgets/NodeFilterCombo.h"
#include "widgets/PercentTableWidget.h"

namespace files {

shell::PageParts createFilesPage(shell::Shell& shell) {
    auto* page = new FilesPage(shell);
    shell::PageHooks hooks;
    hooks.onSelected = shell::pageHook(page, [](FilesPage& filesPage) { filesPage.load(false); });
    hooks.onRefresh = shell::pageHook(page, [](FilesPage& filesPage) { filesPage.load(true); });
    // Delete acts on the table of the tab shown, as its context menu would.
    hooks.onDelete = shell::pageHook(page, [](FilesPage& filesPage) {
        const bool video = filesPage.videoTable()->isVisible();
        const int row = (video ? filesPage.videoTable() : filesPage.audioTable())->currentRow();
        if (row >= 0)
            video ? filesPage.deleteVideo(row) : filesPage.deleteAudioFolder(row);
    });
    hooks.onFind = shell::pageHook(
        page, [](FilesPage& filesPage) { filesPage.nodeFilter()->setFocus(Qt::ShortcutFocusReason); });
    return {page, hooks};
}

} // namespace files
