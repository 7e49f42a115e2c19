#include "net/ApplicationProxy.h"

#include "app/LocalProtection.h"
#include "app/Settings.h"

namespace net {

QNetworkProxy applicationProxy() {
    if (settings::networkMode() != QLatin1String(settings::kModeLocalProxy))
        return QNetworkProxy(QNetworkProxy::NoProxy);

    const QString type = settings::proxyType();
    QNetworkProxy proxy(type == QLatin1String(settings::kTypeHttp) ? QNetworkProxy::HttpProxy
                                                                   : QNetworkProxy::Socks5Proxy);
    proxy.setHostName(settings::proxyHost());
    proxy.setPort(quint16(settings::proxyPort()));
    proxy.setUser(settings::proxyUsername());
    const QString protectedPassword = settings::protectedProxyPassword();
    if (!protectedPassword.isEmpty())
        proxy.setPassword(app::unprotectLocal(protectedPassword));
    return proxy;
}

QString proxySummary() {
    if (settings::networkMode() != QLatin1String(settings::kModeLocalProxy))
        return QStringLiteral("直连");
    const QString type = settings::proxyType() == QLatin1String(settings::kTypeHttp)
                             ? QStringLiteral("HTTP")
                             : QStringLiteral("SOCKS5");
    return QStringLiteral("%1 %2:%3")
        .arg(type, settings::proxyHost(), QString::number(settings::proxyPort()));
}

} // namespace net
