#pragma once

#include "shell/Shell.h"

namespace settings {

// The settings page; the version label goes into the top bar.
shell::PageParts createSettingsPage(shell::Shell& shell);

} // namespace settings
