#pragma once

#include <QPointer>
#include <functional>
#include <utility>

namespace shell {

// The one way a page factory hands the window work on its page: the hook holds the page weakly and does
// nothing once the page is gone. (Callbacks registered with the page itself as context, such as
// whenEngineActionDone(page, ...), are dropped with the page and may use it directly.)
template <typename Page, typename Action> std::function<void()> pageHook(Page* page, Action action) {
    return [guard = QPointer<Page>(page), action = std::move(action)] {
        if (guard)
            action(*guard);
    };
}

} // namespace shell
