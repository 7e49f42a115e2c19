#pragma once

#include "shell/Shell.h"

namespace streaming {

// The RTMP rooms page with its hooks: a quiet load when it is chosen and on every status tick.
shell::PageParts createRtmpPage(shell::Shell& shell);

} // namespace streaming
