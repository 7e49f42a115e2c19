#pragma once

#include "shell/Shell.h"

namespace files {

// The files page ("文件管理"): videos and audio folders of the Nodes, deletion and the upload dialog.
shell::PageParts createFilesPage(shell::Shell& shell);

} // namespace files
