#pragma once

#include "shell/Shell.h"

namespace streaming {

// The live rooms page with its hooks: a quiet load when it is chosen, the push status every live tick.
shell::PageParts createLivePage(shell::Shell& shell);

} // namespace streaming
