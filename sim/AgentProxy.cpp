#include "AgentService.h"
#include "SimUtil.h"

#include <httplib.h>

#include <QHostAddress>
#include <QtMath>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace sim::detail {
namespace {

const QStringList kBridgeKeys = {QStringLiteral("name"),
                                 QStringLiteral("listen"),
                                 QStringLiteral("port"),
                                 QStringLiteral("username"),
                                 QStringLiteral("password"),
                                 QStringLiteral("upstreamType"),
                                 QStringLiteral("upstreamHost"),
                                 QStringLiteral("upstreamPort"),
                                 QStringLiteral("upstreamUsername"),
                                 QStringLiteral("upstreamPassword")};

double rate(double seed, qint64 ms, double scale) {
    const double t = ms / 1000.0;
    return scale * (0.55 + 0.45 * qSin(t / 7 + seed));
}

// Milliseconds to connect, or -1. Only loopback is ever dialled: the simulator stays off the network.
qint64 loopbackConnectMs(const QString& host, int port) {
    QHostAddress address(host == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : host);
    if (address.protocol() != QAbstractSocket::IPv4Protocol || !address.isLoopback())
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(quint16(port));
    sa.sin_addr.s_addr = htonl(address.toIPv4Address());
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
    const auto begin = std::chrono::steady_clock::now();
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int error = 0;
        socklen_t len = sizeof error;
        rc = (::poll(&p, 1, 1000) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 &&
              error == 0)
                 ? 0
                 : -1;
    }
    ::close(fd);
    if (rc != 0)
        return -1;
    return std::max<qint64>(
        1, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin)
               .count());
}

QJsonObject runUpstreamTest(const QString& host, int port) {
    QJsonObject test{{QStringLiteral("latencyAttempts"), 5}};
    QHostAddress address(host);
    const bool loopback = host == QLatin1String("localhost") || (!address.isNull() && address.isLoopback());
    qint64 tcpMs = -1;
    if (loopback) {
        tcpMs = loopbackConnectMs(host, port);
    } else if (port > 0 && !host.trimmed().isEmpty() && host != QLatin1String("0.0.0.0")) {
        // Remote upstreams are not dialled; a stable figure per address stands in for the measurement.
        tcpMs = 20 + qHash(host + QString::number(port)) % 180;
    }
    if (tcpMs < 0) {
        test.insert(QStringLiteral("tcpConnectMs"), 0);
        test.insert(QStringLiteral("tcpConnectError"),
                    QStringLiteral("dial tcp %1:%2: connect: connection refused").arg(host).arg(port));
        test.insert(QStringLiteral("latencySuccess"), 0);
        test.insert(QStringLiteral("downloadBytesPerSecond"), 0);
        test.insert(QStringLiteral("error"), QStringLiteral("上游连接失败"));
        return test;
    }
    test.insert(QStringLiteral("tcpConnectMs"), tcpMs);
    test.insert(QStringLiteral("latencySuccess"), 5);
    test.insert(QStringLiteral("latencyMinMs"), tcpMs * 2);
    test.insert(QStringLiteral("latencyAvgMs"), tcpMs * 2 + 7);
    test.insert(QStringLiteral("downloadBytes"), 10 * 1024 * 1024);
    test.insert(QStringLiteral("downloadDurationMs"), 800 + tcpMs * 10);
    test.insert(QStringLiteral("downloadBytesPerSecond"),
                10.0 * 1024 * 1024 * 1000 / double(800 + tcpMs * 10));
    return test;
}

} // namespace

QJsonObject AgentService::proxyJsonLocked(qint64 now) const {
    const bool running = proxy_.running;
    const qint64 elapsed = running ? now - proxy_.startedMs : 0;
    QJsonArray connections;
    if (running) {
        connections.append(QJsonObject{{QStringLiteral("clientIp"), QStringLiteral("198.51.100.23")},
                                       {QStringLiteral("client"), QStringLiteral("198.51.100.23:53211")}});
        connections.append(QJsonObject{{QStringLiteral("client"), QStringLiteral("198.51.100.23:53212")}});
        connections.append(QJsonObject{{QStringLiteral("clientIp"), QStringLiteral("203.0.113.9")}});
    }
    return {{QStringLiteral("running"), running},
            {QStringLiteral("enabled"), proxy_.enabled},
            {QStringLiteral("listen"), proxy_.listen},
            {QStringLiteral("port"), proxy_.port},
            {QStringLiteral("username"), proxy_.username},
            {QStringLiteral("password"), proxy_.password},
            {QStringLiteral("socksAddr"),
             proxy_.port > 0 ? QStringLiteral("%1:%2").arg(publicHost_).arg(proxy_.port) : QString()},
            {QStringLiteral("activeConnections"), int(connections.size())},
            {QStringLiteral("connections"), connections},
            {QStringLiteral("uploadBps"), running ? qRound64(rate(seed_, now, 300000)) : 0},
            {QStringLiteral("downloadBps"), running ? qRound64(rate(seed_ + 1, now, 2400000)) : 0},
            {QStringLiteral("totalUpload"), double(elapsed) * 160},
            {QStringLiteral("totalDownload"), double(elapsed) * 1300},
            {QStringLiteral("uptimeSeconds"), elapsed / 1000},
            {QStringLiteral("error"),
             proxy_.enabled && !gost_.installed ? QStringLiteral("GOST 未安装") : QString()}};
}

void AgentService::startProxy(int port, const QString& username, const QString& password) {
    std::lock_guard lock(mutex_);
    proxy_.port = port;
    proxy_.username = username;
    proxy_.password = password;
    proxy_.enabled = true;
    proxy_.running = gost_.installed && gost_.running;
    proxy_.startedMs = nowMs() - 3600 * 1000;
}

QString AgentService::startRelayLocked(Bridge& bridge) {
    bridge.relay.reset();
    const QString host = textOf(bridge.config, "upstreamHost").trimmed();
    if (host != QLatin1String("127.0.0.1") && host != QLatin1String("localhost"))
        return {};
    auto relay = std::make_shared<SocksRelay>(SocksRelay::Config{
        bridge.config.value(QStringLiteral("port")).toInt(), textOf(bridge.config, "username"),
        textOf(bridge.config, "password"), host, bridge.config.value(QStringLiteral("upstreamPort")).toInt(),
        textOf(bridge.config, "upstreamUsername"), textOf(bridge.config, "upstreamPassword")});
    const QString reason = relay->start();
    if (reason.isEmpty())
        bridge.relay = relay;
    return reason;
}

QString AgentService::portTakenLocked(int port, const QString& exceptBridge, bool exceptProxy) const {
    if (!exceptProxy && proxy_.enabled && proxy_.port == port)
        return QStringLiteral("端口 %1 已被代理使用").arg(port);
    for (const auto& bridge : bridges_)
        if (textOf(bridge.config, "id") != exceptBridge &&
            bridge.config.value(QStringLiteral("port")).toInt() == port)
            return QStringLiteral("端口 %1 已被中转 %2 使用").arg(port).arg(textOf(bridge.config, "name"));
    return {};
}

AgentService::Bridge* AgentService::findBridgeLocked(const QString& id) {
    for (auto& bridge : bridges_)
        if (textOf(bridge.config, "id") == id)
            return &bridge;
    return nullptr;
}

QJsonObject AgentService::bridgeJsonLocked(Bridge& bridge, qint64 now) {
    if (bridge.testStartedMs > 0 && now - bridge.testStartedMs >= settings_.bridgeTestDurationMs) {
        bridge.lastTest = bridge.pendingTest;
        bridge.lastTest.insert(QStringLiteral("testedAt"), now / 1000);
        bridge.testStartedMs = 0;
    }
    QJsonObject object = bridge.config;
    const QString host = textOf(bridge.config, "upstreamHost");
    const int upstreamPort = bridge.config.value(QStringLiteral("upstreamPort")).toInt();
    const qint64 elapsed = bridge.running ? now - bridge.startedMs : 0;
    object.insert(QStringLiteral("running"), bridge.running);
    object.insert(
        QStringLiteral("socksAddr"),
        QStringLiteral("%1:%2").arg(publicHost_).arg(bridge.config.value(QStringLiteral("port")).toInt()));
    object.insert(QStringLiteral("upstreamAddr"), host.isEmpty() || upstreamPort < 1
                                                      ? QString()
                                                      : QStringLiteral("%1:%2").arg(host).arg(upstreamPort));
    object.insert(QStringLiteral("activeConnections"), bridge.running ? 2 : 0);
    object.insert(QStringLiteral("uploadBps"), bridge.running ? qRound64(rate(seed_ + 2, now, 120000)) : 0);
    object.insert(QStringLiteral("downloadBps"), bridge.running ? qRound64(rate(seed_ + 3, now, 900000)) : 0);
    object.insert(QStringLiteral("totalUpload"), bridge.totalUpload + double(elapsed) * 60);
    object.insert(QStringLiteral("totalDownload"), bridge.totalDownload + double(elapsed) * 450);
    object.insert(QStringLiteral("uptimeSeconds"), elapsed / 1000);
    object.insert(QStringLiteral("error"),
                  bridge.running && !gost_.installed ? QStringLiteral("GOST 未安装") : QString());
    object.insert(QStringLiteral("testing"), bridge.testStartedMs > 0);
    object.insert(QStringLiteral("testStartedAt"), bridge.testStartedMs / 1000);
    object.insert(QStringLiteral("lastTest"), bridge.lastTest);
    return object;
}

QString AgentService::applyBridgeConfig(QJsonObject& config, const QJsonObject& body, bool creating) const {
    QJsonObject next = config;
    for (const QString& key : kBridgeKeys)
        if (body.contains(key))
            next.insert(key, body.value(key));
    if (textOf(next, "name").trimmed().isEmpty())
        return QStringLiteral("中转名称不能为空");
    const int port = next.value(QStringLiteral("port")).toInt();
    if (port < 1 || port > 65535)
        return QStringLiteral("入口端口无效");
    if (textOf(next, "username").isEmpty() || textOf(next, "password").isEmpty())
        return QStringLiteral("入口账号和密码不能为空");
    if (textOf(next, "upstreamType").isEmpty())
        next.insert(QStringLiteral("upstreamType"), QStringLiteral("socks5"));
    if (textOf(next, "upstreamType") != QLatin1String("socks5"))
        return QStringLiteral("仅支持 socks5 出口");
    const int upstreamPort = next.value(QStringLiteral("upstreamPort")).toInt();
    if (upstreamPort < 0 || upstreamPort > 65535)
        return QStringLiteral("出口端口无效");
    if (textOf(next, "listen").isEmpty())
        next.insert(QStringLiteral("listen"), QStringLiteral("0.0.0.0"));
    Q_UNUSED(creating)
    config = next;
    return {};
}

QJsonObject AgentService::addBridge(const QJsonObject& bridgeJson) {
    std::lock_guard lock(mutex_);
    Bridge bridge;
    bridge.config = {{QStringLiteral("id"), randomToken(12)},
                     {QStringLiteral("listen"), QStringLiteral("0.0.0.0")},
                     {QStringLiteral("upstreamType"), QStringLiteral("socks5")},
                     {QStringLiteral("upstreamHost"), QString()},
                     {QStringLiteral("upstreamPort"), 0},
                     {QStringLiteral("upstreamUsername"), QString()},
                     {QStringLiteral("upstreamPassword"), QString()}};
    for (const QString& key : kBridgeKeys)
        if (bridgeJson.contains(key))
            bridge.config.insert(key, bridgeJson.value(key));
    if (bridgeJson.value(QStringLiteral("running")).toBool()) {
        bridge.running = true;
        bridge.startedMs = nowMs() - 7200 * 1000;
    }
    bridges_.push_back(bridge);
    return bridgeJsonLocked(bridges_.back(), nowMs());
}

void AgentService::installProxyRoutes() {
    host_.route("GET", "/proxy/status", [this](Call& c) {
        std::lock_guard lock(mutex_);
        sendJson(c, 200, proxyJsonLocked(nowMs()));
    });
    host_.route("POST", "/proxy/start", [this](Call& c) {
        std::lock_guard lock(mutex_);
        const int port = c.body.value(QStringLiteral("port")).toInt();
        const QString user = textOf(c.body, "username").trimmed();
        const QString password = textOf(c.body, "password");
        if (port < 1 || port > 65535)
            return sendError(c, 400, QStringLiteral("端口无效"));
        if (user.isEmpty() || password.isEmpty())
            return sendError(c, 400, QStringLiteral("代理账号和密码不能为空"));
        if (!gost_.installed)
            return sendError(c, 409, QStringLiteral("GOST 未安装"));
        const QString taken = portTakenLocked(port, QString(), true);
        if (!taken.isEmpty())
            return sendError(c, 409, taken);
        proxy_ = {
            true,   true,
            port,   textOf(c.body, "listen").isEmpty() ? QStringLiteral("0.0.0.0") : textOf(c.body, "listen"),
            user,   password,
            nowMs()};
        gost_.running = true;
        sendJson(c, 200, proxyJsonLocked(nowMs()));
    });
    host_.route("POST", "/proxy/stop", [this](Call& c) {
        std::lock_guard lock(mutex_);
        proxy_.enabled = false;
        proxy_.running = false;
        sendJson(c, 200, proxyJsonLocked(nowMs()));
    });
    host_.route("POST", "/proxy/restart", [this](Call& c) {
        std::lock_guard lock(mutex_);
        if (proxy_.port < 1 || proxy_.username.isEmpty())
            return sendError(c, 409, QStringLiteral("代理尚未配置，请先启动代理"));
        if (!gost_.installed)
            return sendError(c, 409, QStringLiteral("GOST 未安装"));
        proxy_.enabled = true;
        proxy_.running = true;
        proxy_.startedMs = nowMs();
        sendJson(c, 200, proxyJsonLocked(nowMs()));
    });

    host_.route("GET", "/proxy/bridges", [this](Call& c) {
        std::lock_guard lock(mutex_);
        QJsonArray list;
        for (auto& bridge : bridges_)
            list.append(bridgeJsonLocked(bridge, nowMs()));
        for (int i = 0; i < syntheticBridges_; ++i) {
            // Compact, as a hostile Agent would send them: 25,000 fit under the poll's reply cap.
            list.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("s%1").arg(i)},
                                    {QStringLiteral("name"), QStringLiteral("b%1").arg(i)},
                                    {QStringLiteral("port"), 20000 + i % 40000},
                                    {QStringLiteral("running"), i % 2 == 0},
                                    {QStringLiteral("upstreamHost"), QStringLiteral("10.0.0.1")},
                                    {QStringLiteral("upstreamPort"), 1080}});
        }
        sendJson(c, 200, {{QStringLiteral("bridges"), list}});
    });
    host_.route("POST", "/proxy/bridges", [this](Call& c) {
        std::lock_guard lock(mutex_);
        QJsonObject config{{QStringLiteral("id"), randomToken(12)}};
        const QString error = applyBridgeConfig(config, c.body, true);
        if (!error.isEmpty())
            return sendError(c, 400, error);
        const QString taken = portTakenLocked(config.value(QStringLiteral("port")).toInt(), QString(), false);
        if (!taken.isEmpty())
            return sendError(c, 409, taken);
        Bridge bridge;
        bridge.config = config;
        bridges_.push_back(bridge);
        sendJson(c, 201, bridgeJsonLocked(bridges_.back(), nowMs()));
    });
    host_.route("PUT", R"(/proxy/bridges/([^/]+))", [this](Call& c) {
        std::lock_guard lock(mutex_);
        Bridge* bridge = findBridgeLocked(c.match(1));
        if (!bridge)
            return sendError(c, 404, QStringLiteral("中转不存在"));
        QJsonObject config = bridge->config;
        const QString error = applyBridgeConfig(config, c.body, false);
        if (!error.isEmpty())
            return sendError(c, 400, error);
        const QString taken =
            portTakenLocked(config.value(QStringLiteral("port")).toInt(), c.match(1), false);
        if (!taken.isEmpty())
            return sendError(c, 409, taken);
        bridge->config = config;
        if (bridge->running) {
            const QString reason = startRelayLocked(*bridge);
            if (!reason.isEmpty())
                return sendError(c, 409, reason);
        }
        sendJson(c, 200, bridgeJsonLocked(*bridge, nowMs()));
    });
    host_.route("POST", R"(/proxy/bridges/([^/]+)/(start|stop|test))", [this](Call& c) {
        std::lock_guard lock(mutex_);
        Bridge* bridge = findBridgeLocked(c.match(1));
        if (!bridge)
            return sendError(c, 404, QStringLiteral("中转不存在"));
        const QString action = c.match(2);
        const QString host = textOf(bridge->config, "upstreamHost").trimmed();
        const int upstreamPort = bridge->config.value(QStringLiteral("upstreamPort")).toInt();
        const qint64 now = nowMs();
        if (action == QLatin1String("stop")) {
            if (bridge->running) {
                bridge->totalUpload += double(now - bridge->startedMs) * 60;
                bridge->totalDownload += double(now - bridge->startedMs) * 450;
            }
            bridge->running = false;
            bridge->relay.reset();
            return sendJson(c, 200, bridgeJsonLocked(*bridge, now));
        }
        if (host.isEmpty() || upstreamPort < 1)
            return sendError(c, 409, QStringLiteral("请先配置出口地址和端口"));
        if (action == QLatin1String("start")) {
            if (!gost_.installed)
                return sendError(c, 409, QStringLiteral("GOST 未安装"));
            const QString reason = startRelayLocked(*bridge);
            if (!reason.isEmpty())
                return sendError(c, 409, reason);
            if (!bridge->running)
                bridge->startedMs = now;
            bridge->running = true;
        } else if (bridge->testStartedMs == 0) {
            bridge->pendingTest = runUpstreamTest(host, upstreamPort);
            bridge->testStartedMs = now;
        }
        sendJson(c, 200, bridgeJsonLocked(*bridge, now));
    });
    host_.route("DELETE", R"(/proxy/bridges/([^/]+))", [this](Call& c) {
        std::lock_guard lock(mutex_);
        const QString id = c.match(1);
        if (!findBridgeLocked(id))
            return sendError(c, 404, QStringLiteral("中转不存在"));
        std::erase_if(bridges_, [&](const Bridge& b) { return textOf(b.config, "id") == id; });
        sendJson(c, 200, {{QStringLiteral("ok"), true}});
    });
}

} // namespace sim::detail
