#include "mainwindow/NodesPages.h"

#include "mainwindow/NodesPage.h"
#include "shell/PageHook.h"
#include "widgets/PercentTableWidget.h"

namespace mainwindow {

shell::PageParts createNodesPage(shell::Shell& shell) {
    auto* page = new NodesPage(shell);
    shell::PageHooks hooks;
    hooks.onStatusTick = shell::pageHook(page, [](NodesPage& nodes) { nodes.refreshNodeStatuses(); });
    hooks.statusTickWhileHidden = true;
    hooks.onRefresh = [&shell] {
        shell.reloadNodes(true);
    };
    hooks.onDelete = shell::pageHook(page, [](NodesPage& nodes) {
        if (!nodes.selectedNodeRows().isEmpty())
            nodes.deleteSelectedNodes();
    });
    hooks.onActivate = shell::pageHook(page, [](NodesPage& nodes) { nodes.table()->activateCurrentRow(); });
    hooks.onFind = shell::pageHook(page, [](NodesPage& nodes) { nodes.focusFilter(); });
    hooks.onReveal = [guard = QPointer<NodesPage>(page)](const QString& nodeId) {
        if (guard)
            guard->revealNode(nodeId);
    };
    return {page, hooks};
}

} // namespace mainwindow
