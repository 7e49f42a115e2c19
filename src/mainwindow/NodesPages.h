#pragma once

#include "shell/Shell.h"

namespace mainwindow {

// The nodes page with its hooks: it polls every Node's status on every status tick, shown or not.
shell::PageParts createNodesPage(shell::Shell& shell);

} // namespace mainwindow
