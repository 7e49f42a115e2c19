#pragma once

#include "shell/Shell.h"

#include <functional>

class QWidget;

namespace shell {

// The keys the window hands to the page shown.
enum class PageKey { Refresh, Delete, Activate, Find };

// Whether the key is the page's with the focus in this widget: Delete and Enter stay with a text field,
// where they edit or confirm what is typed.
bool pageKeyApplies(PageKey key, const QWidget* focus);

// Puts F5, Delete, Enter/Return and Ctrl+F on the window (once, for every page). Each runs the matching
// hook of the page shownHooks returns, unless the shell is busy or the focus keeps the key.
void installPageShortcuts(QWidget* window, const Shell& shell, std::function<const PageHooks*()> shownHooks);

} // namespace shell
