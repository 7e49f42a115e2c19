#pragma once

#include "account/AccountTiming.h"

#include <QJsonObject>
#include <QNetworkProxy>
#include <QString>
#include <optional>

// The network proxy form without its widgets: loading and storing the network/* settings, the
// type/port coupling, the proxy a test uses and the geolocation test's texts.
namespace account {

// The IP-geolocation service asked by the proxy test, over plain HTTP; ONDIVO_IPGEO_URL replaces it
// (tests and the demo point it at the local simulator).
inline constexpr char kDefaultIpGeoBaseUrl[] = "http://ip-api.com";
inline constexpr char kIpGeoUrlVariable[] = "ONDIVO_IPGEO_URL";
inline constexpr char kIpGeoPath[] = "/json/?fields=status,message,query,country,countryCode,timezone";

struct ProxyForm {
    QString mode;     // "direct" or "localProxy"
    QString type;     // "socks5" or "http"
    QString host;     // as typed
    int port = 10808; // 1 to 65535
    QString username; // as typed
    QString password; // as typed, plain

    bool usesProxy() const;
};

ProxyForm loadProxyForm();

// Writes all six network/* keys, also in direct mode; the password only in protected form.
void storeProxyForm(const ProxyForm& form);

// "请填写代理地址。" when a local proxy is chosen without a host; nothing otherwise.
std::optional<QString> proxyFormProblem(const ProxyForm& form);

// The port after the type changed: a default port follows the type, any other port stays.
int portAfterTypeChange(int port, const QString& newType);

// The proxy the form describes (not the stored one): no proxy unless a local proxy is chosen.
QNetworkProxy proxyFromForm(const ProxyForm& form);

QString ipGeoBaseUrl();
QString ipGeoTestUrl();

// "测试成功：..." or "测试失败：..." for a geolocation reply that arrived.
QString geoTestResultText(const QJsonObject& reply);
QString geoTestNetworkFailureText(const QString& networkError);

} // namespace account
