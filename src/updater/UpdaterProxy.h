#pragma once

#include <QNetworkProxy>

namespace updater {

// The proxy of every updater download: the client's own proxy setting, read from the client's
// settings store (organization and application "Ondivo") like the client does.
QNetworkProxy updaterProxy();

} // namespace updater
