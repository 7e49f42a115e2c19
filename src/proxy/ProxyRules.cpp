#include "ProxyRules.h"

#include "app/LocalProtection.h"
#include "app/Settings.h"
#include "app/TextFormats.h"
#include "crypto/CryptoPrimitives.h"
#include "net/RequestResult.h"

#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <limits>

namespace proxy {
namespace {

const QString kDash = QStringLiteral("--");

QString textOr(const QString& text, const QString& fallback) {
    return text.isEmpty() ? fallback : text;
}

QString clientAddress(const QJsonObject& connection) {
    const QString ip = connection.value(QStringLiteral("clientIp")).toString();
    if (!ip.isEmpty())
        return ip;
    const QString client = connection.value(QStringLiteral("client")).toString();
    const qsizetype colon = client.lastIndexOf(QLatin1Char(':'));
    return colon >= 1 ? client.left(colon) : client;
}

// Letters and digits that cannot be mistaken for one another when read aloud or copied by hand.
constexpr char kPasswordAlphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";

} // namespace

QString proxyStateWord(const QJsonObject& status) {
    if (status.value(QStringLiteral("running")).toBool())
        return QStringLiteral("运行中");
    if (status.value(QStringLiteral("enabled")).toBool())
        return QStringLiteral("已启用");
    return QStringLiteral("已停止");
}

int distinctClientCount(const QJsonArray& connections) {
    QSet<QString> clients;
    for (const QJsonValue& value : connections) {
        const QString address = clientAddress(value.toObject());
        if (!address.isEmpty())
            clients.insert(address);
    }
    return int(clients.size());
}

QString uptimeText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        return fmt::duration(0);
    const double capped = std::min(seconds, double(std::numeric_limits<qint64>::max() / 2));
    return fmt::duration(qint64(capped));
}

ProxyRowView proxyRowFromStatus(const QJsonObject& status) {
    const bool running = status.value(QStringLiteral("running")).toBool();
    ProxyRowView view;
    view.state = proxyStateWord(status);
    view.running = running;
    view.activeConnections =
        std::clamp(status.value(QStringLiteral("activeConnections")).toInt(), 0, kMaxActiveConnections);
    if (running) {
        view.connection = {status.value(QStringLiteral("socksAddr")).toString(),
                           status.value(QStringLiteral("username")).toString(),
                           status.value(QStringLiteral("password")).toString()};
    }
    const int port = status.value(QStringLiteral("port")).toInt();
    const QString user = status.value(QStringLiteral("username")).toString();
    const QString password = status.value(QStringLiteral("password")).toString();
    const double total = status.value(QStringLiteral("totalUpload")).toDouble() +
                         status.value(QStringLiteral("totalDownload")).toDouble();
    view.cells = {running && port > 0 ? QString::number(port) : kDash,
                  running ? textOr(user, kDash) : kDash,
                  running ? textOr(maskedPassword(password), kDash) : kDash,
                  fmt::count(status.value(QStringLiteral("activeConnections")).toDouble()),
                  QString::number(distinctClientCount(status.value(QStringLiteral("connections")).toArray())),
                  fmt::clientRate(status.value(QStringLiteral("uploadBps")).toDouble()),
                  fmt::clientRate(status.value(QStringLiteral("downloadBps")).toDouble()),
                  fmt::clientBytes(total),
                  running ? uptimeText(status.value(QStringLiteral("uptimeSeconds")).toDouble()) : kDash,
                  textOr(status.value(QStringLiteral("error")).toString(), kDash)};
    return view;
}

ProxyRowView failedProxyRow(const QString& state, const QString& errorText) {
    ProxyRowView view;
    view.state = state;
    for (int i = 3; i < 12; ++i)
        view.cells << kDash;
    view.cells << textOr(errorText, kDash);
    return view;
}

ProxyRowView unknownProxyRow() {
    return failedProxyRow(QString::fromUtf8(kStateUnknown), QString());
}

ProxyRowView proxyRowFromPoll(bool networkError, const QString& transportError, int httpStatus,
                              const QJsonObject& reply) {
    // An HTTP error status counts as an answer: its body says what went wrong.
    if (networkError && httpStatus == 0)
        return failedProxyRow(QString::fromUtf8(kStateOffline), transportError);
    const net::RequestResult result{httpStatus, reply};
    if (result.failedUnlessRecord(net::kProxyRecordKey))
        return failedProxyRow(QString::fromUtf8(kStateFailed), result.text());
    return proxyRowFromStatus(reply);
}

QString liveNote(int runningCount, int activeConnections) {
    if (runningCount <= 0)
        return QString();
    if (activeConnections > 0)
        return QStringLiteral("有 %1 个活动连接").arg(activeConnections);
    return QStringLiteral("正在运行");
}

namespace {

QString withLiveNote(const QString& question, const QString& note, const QString& consequence) {
    return note.isEmpty() ? question : note + consequence + QLatin1Char('\n') + question;
}

} // namespace

QString stopProxiesQuestion(const QStringList& nodeLabels, int runningCount, int activeConnections) {
    return withLiveNote(QStringLiteral("确定停止代理 ") + nodeLabels.join(QStringLiteral("、")) +
                            QStringLiteral(" ?"),
                        liveNote(runningCount, activeConnections), QStringLiteral("，停止后连接会断开。"));
}

QString deleteBridgeQuestion(const QString& bridgeName, bool running, int activeConnections) {
    return withLiveNote(QStringLiteral("确定删除中转 ") + bridgeName + QStringLiteral(" ?"),
                        liveNote(running ? 1 : 0, activeConnections), QStringLiteral("，删除后连接会断开。"));
}

QString maskedPassword(const QString& password) {
    return password.isEmpty() ? QString() : QStringLiteral("******");
}

QString maskedSocksUrl(const QString& username, const QString& address) {
    return QStringLiteral("socks5://%1:%2@%3")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(username)), maskedPassword(QStringLiteral("x")),
             address);
}

QString socksUrl(const QString& username, const QString& password, const QString& address) {
    return QStringLiteral("socks5://%1:%2@%3")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(username)),
             QString::fromLatin1(QUrl::toPercentEncoding(password)), address);
}

QString randomProxyPassword(int length) {
    const int alphabetSize = int(sizeof kPasswordAlphabet) - 1;
    // Bytes at or above the largest multiple of the alphabet size are thrown away, so every character
    // is equally likely.
    const int limit = 256 - 256 % alphabetSize;
    QString password;
    while (password.size() < length) {
        const QByteArray bytes = crypto::randomBytes(length * 2);
        if (bytes.isEmpty())
            return {};
        for (const char byte : bytes) {
            const int value = static_cast<unsigned char>(byte);
            if (value < limit && password.size() < length)
                password += QLatin1Char(kPasswordAlphabet[value % alphabetSize]);
        }
    }
    return password;
}

ProxyDefaults loadProxyDefaults() {
    ProxyDefaults defaults;
    defaults.port = settings::gostPort();
    if (defaults.port < 1 || defaults.port > 65535)
        defaults.port = 1080;
    defaults.username = settings::gostUsername();
    defaults.password = app::unprotectLocal(settings::gostProtectedPassword());
    if (defaults.password.isEmpty()) {
        defaults.password = randomProxyPassword();
        const QString sealed = app::protectLocal(defaults.password);
        if (!sealed.isEmpty())
            settings::writeText(settings::key::gostProtectedPassword, sealed);
    }
    return defaults;
}

void saveProxyDefaults(const ProxyDefaults& defaults) {
    settings::writeInt(settings::key::gostPort, defaults.port);
    settings::writeText(settings::key::gostUsername, defaults.username.trimmed());
    settings::writeText(settings::key::gostProtectedPassword, app::protectLocal(defaults.password));
}

int firstFreePort(int preferred, const QSet<int>& taken) {
    constexpr int kLowest = 1024;
    constexpr int kHighest = 65535;
    int port = std::clamp(preferred, 1, kHighest);
    for (int tried = 0; tried <= kHighest; ++tried) {
        if (!taken.contains(port))
            return port;
        port = port >= kHighest ? kLowest : port + 1;
    }
    return 0;
}

} // namespace proxy
