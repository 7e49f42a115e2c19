#include "account/ProxyForm.h"

#include "app/LocalProtection.h"
#include "app/Settings.h"

namespace account {

bool ProxyForm::usesProxy() const {
    return mode == QLatin1String(settings::kModeLocalProxy);
}

ProxyForm loadProxyForm() {
    ProxyForm form;
    form.mode = settings::networkMode();
    form.type = settings::proxyType();
    form.host = settings::proxyHost();
    form.port = settings::proxyPort();
    form.username = settings::proxyUsername();
    const QString stored = settings::protectedProxyPassword();
    form.password = stored.isEmpty() ? QString() : app::unprotectLocal(stored);
    return form;
}

void storeProxyForm(const ProxyForm& form) {
    settings::writeText(settings::key::networkMode, form.mode);
    settings::writeText(settings::key::proxyType, form.type);
    settings::writeText(settings::key::proxyHost, form.host.trimmed());
    settings::writeInt(settings::key::proxyPort, form.port);
    settings::writeText(settings::key::proxyUsername, form.username.trimmed());
    settings::writeText(settings::key::protectedProxyPassword,
                        form.password.isEmpty() ? QString() : app::protectLocal(form.password));
}

std::optional<QString> proxyFormProblem(const ProxyForm& form) {
    if (form.usesProxy() && form.host.trimmed().isEmpty())
        return QStringLiteral("请填写代理地址。");
    return std::nullopt;
}

int portAfterTypeChange(int port, const QString& newType) {
    if (port != settings::kDefaultSocksPort && port != settings::kDefaultHttpPort)
        return port;
    return newType == QLatin1String(settings::kTypeHttp) ? settings::kDefaultHttpPort
                                                         : settings::kDefaultSocksPort;
}

QNetworkProxy proxyFromForm(const ProxyForm& form) {
    if (!form.usesProxy())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const auto kind = form.type == QLatin1String(settings::kTypeHttp) ? QNetworkProxy::HttpProxy
                                                                      : QNetworkProxy::Socks5Proxy;
    QNetworkProxy proxy(kind, form.host.trimmed(), quint16(form.port), form.username.trimmed());
    if (!form.password.isEmpty())
        proxy.setPassword(form.password);
    return proxy;
}

QString ipGeoBaseUrl() {
    QString base = qEnvironmentVariable(kIpGeoUrlVariable).trimmed();
    if (base.isEmpty())
        base = QString::fromLatin1(kDefaultIpGeoBaseUrl);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString ipGeoTestUrl() {
    return ipGeoBaseUrl() + QString::fromLatin1(kIpGeoPath);
}

QString geoTestResultText(const QJsonObject& reply) {
    if (reply.value(QLatin1String("status")).toString() == QLatin1String("fail"))
        return QStringLiteral("测试失败：") + reply.value(QLatin1String("message")).toString();
    // Anything that is not a geolocation answer (a captive portal's page, an empty body) proves
    // nothing about the proxy and must not read as success.
    const QString address = reply.value(QLatin1String("query")).toString();
    if (address.isEmpty())
        return QStringLiteral("测试失败：地理位置服务的回复无法识别");
    return QStringLiteral("测试成功：%1 %2(%3) %4")
        .arg(address, reply.value(QLatin1String("country")).toString(),
             reply.value(QLatin1String("countryCode")).toString(),
             reply.value(QLatin1String("timezone")).toString());
}

QString geoTestNetworkFailureText(const QString& networkError) {
    return QStringLiteral("测试失败：") + networkError;
}

} // namespace account
