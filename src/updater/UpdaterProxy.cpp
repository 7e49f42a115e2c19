#include "updater/UpdaterProxy.h"

#include "net/ApplicationProxy.h"

namespace updater {

QNetworkProxy updaterProxy() {
    return net::applicationProxy();
}

} // namespace updater
