#pragma once

#include "shell/Shell.h"

namespace streaming {

// The live rooms page with its hooks: a quiet load when it is chosen, the push status every live tick.
shell::PageParts createLivePage(shell::Shell& shell);
// The RTMP rooms page with its hooks: a quiet load when it is chosen and on every status tick.
shell::PageParts createRtmpPage(shell::Shell& shell);

} // namespace streaming
