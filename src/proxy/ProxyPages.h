#pragma once

#include "shell/Shell.h"

namespace proxy {

// The proxy page ("代理": one GOST SOCKS5 proxy per Node) and the bridge page ("中转": SOCKS5 entries on
// Nodes relaying to upstream proxies).
shell::PageParts createProxyPage(shell::Shell& shell);
shell::PageParts createBridgePage(shell::Shell& shell);

} // namespace proxy
