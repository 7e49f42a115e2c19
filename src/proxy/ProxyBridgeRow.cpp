#include "ProxyBridgeRow.h"

#include "app/TextFormats.h"
#include "fleet/ListRows.h"
#include "net/JsonNumbers.h"
#include "net/RequestLayer.h"
#include "net/RequestResult.h"

#include <QDateTime>
#include <QJsonArray>

namespace proxy {
namespace {

const QString kDash = QStringLiteral("--");
const QString kTesting = QStringLiteral("测试中");
const QString kFailed = QStringLiteral("失败");
const QString kNotConfigured = QStringLiteral("未配置");

QString text(const QJsonObject& o, const char* key, const QString& fallback = QString()) {
    const QJsonValue value = o.value(QLatin1String(key));
    return value.isString() ? value.toString() : fallback;
}

// Times, durations and byte counts of a bridge: range-checked before conversion, anything outside
// 0 .. 2^53 (no double holds a whole number beyond it exactly) reads as absent.
constexpr qint64 kLargestWholeDouble = qint64(1) << 53;

qint64 int64(const QJsonObject& o, const char* key) {
    return net::boundedInteger(o.value(QLatin1String(key)), 0, kLargestWholeDouble, 0);
}

// Milliseconds of a test: more than a day is no measurement.
qint64 milliseconds(const QJsonObject& o, const char* key) {
    return net::boundedInteger(o.value(QLatin1String(key)), 0, 86400 * qint64(1000), 0);
}

// A Unix time in seconds up to the year 9999; anything else reads as never.
qint64 epochSeconds(const QJsonObject& o, const char* key) {
    return net::boundedInteger(o.value(QLatin1String(key)), 0, 253402300799, 0);
}

int int32(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toInt();
}

double real(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toDouble();
}

QString orDash(const QString& s) {
    return s.isEmpty() ? kDash : s;
}

} // namespace

ProxyBridgeRow ProxyBridgeRow::fromJson(const QJsonObject& o, const QString& nodeId,
                                        const QString& nodeName) {
    ProxyBridgeRow row;
    row.nodeId = nodeId;
    row.nodeName = nodeName;
    row.id = text(o, "id");
    row.name = text(o, "name");
    row.listen = text(o, "listen", row.listen);
    row.port = int32(o, "port");
    row.username = text(o, "username");
    row.password = text(o, "password");
    row.upstreamType = text(o, "upstreamType", row.upstreamType);
    row.upstreamHost = text(o, "upstreamHost");
    row.upstreamPort = int32(o, "upstreamPort");
    row.upstreamUsername = text(o, "upstreamUsername");
    row.upstreamPassword = text(o, "upstreamPassword");
    row.running = o.value(QStringLiteral("running")).toBool();
    row.socksAddr = text(o, "socksAddr");
    row.upstreamAddr = text(o, "upstreamAddr");
    row.activeConnections = int32(o, "activeConnections");
    row.uploadBps = real(o, "uploadBps");
    row.downloadBps = real(o, "downloadBps");
    row.totalUpload = real(o, "totalUpload");
    row.totalDownload = real(o, "totalDownload");
    row.uptimeSeconds = int64(o, "uptimeSeconds");
    row.error = text(o, "error");
    row.testing = o.value(QStringLiteral("testing")).toBool();
    row.testStartedAt = epochSeconds(o, "testStartedAt");
    const QJsonObject test = o.value(QStringLiteral("lastTest")).toObject();
    row.tcpConnectMs = milliseconds(test, "tcpConnectMs");
    row.tcpConnectError = text(test, "tcpConnectError");
    row.latencySuccess = int32(test, "latencySuccess");
    row.latencyAttempts = int32(test, "latencyAttempts");
    row.latencyMinMs = milliseconds(test, "latencyMinMs");
    row.latencyAvgMs = milliseconds(test, "latencyAvgMs");
    row.downloadBytesPerSecond = real(test, "downloadBytesPerSecond");
    row.downloadBytes = int64(test, "downloadBytes");
    row.downloadDurationMs = int64(test, "downloadDurationMs");
    row.testedAt = epochSeconds(test, "testedAt");
    row.testError = text(test, "error");
    if (row.testError.isEmpty())
        row.testError = row.tcpConnectError;
    return row;
}

QString ProxyBridgeRow::key() const {
    return nodeId + QLatin1Char('|') + (id.isEmpty() ? QStringLiteral("__service__") : id);
}

QString bridgeLatencyText(const ProxyBridgeRow& row) {
    if (row.testing)
        return kTesting;
    if (row.testedAt < 1)
        return kDash;
    const QString tcp = row.tcpConnectMs < 1 ? kFailed : QStringLiteral("%1ms").arg(row.tcpConnectMs);
    const QString latency = row.latencySuccess < 1 ? kFailed : QStringLiteral("%1ms").arg(row.latencyAvgMs);
    return tcp + QStringLiteral(" / ") + latency;
}

ProxyBridgeRow bridgeFailureRow(const QString& nodeId, const QString& nodeName, const QString& state,
                                const QString& reason) {
    ProxyBridgeRow row;
    row.nodeId = nodeId;
    row.nodeName = nodeName;
    row.failedState = state;
    row.error = reason;
    return row;
}

QStringList bridgeCells(const ProxyBridgeRow& row) {
    if (row.isFailureRow()) {
        QStringList cells(kBridgeColumnCount, kDash);
        cells[0] = row.failedState;
        cells[2] = orDash(row.nodeName);
        cells[kBridgeColumnCount - 1] = orDash(row.error);
        return cells;
    }
    QString state = kNotConfigured;
    if (row.hasUpstream())
        state = row.running ? QStringLiteral("运行中") : QStringLiteral("已停止");
    const QString entry = row.socksAddr.isEmpty() ? QStringLiteral(":%1").arg(row.port) : row.socksAddr;
    const QString upstream = row.hasUpstream()
                                 ? row.upstreamHost + QLatin1Char(':') + QString::number(row.upstreamPort)
                                 : kNotConfigured;
    QString speed = kDash;
    QString testedAt = kDash;
    if (row.testing) {
        speed = testedAt = kTesting;
    } else if (row.testedAt >= 1) {
        speed = row.downloadBytesPerSecond <= 0 ? kFailed : fmt::clientRate(row.downloadBytesPerSecond);
        testedAt =
            QDateTime::fromSecsSinceEpoch(row.testedAt).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    const QString error = !row.error.isEmpty() ? row.error : orDash(row.testError);
    return {state,
            orDash(row.name),
            orDash(row.nodeName),
            entry,
            upstream,
            bridgeLatencyText(row),
            speed,
            testedAt,
            fmt::count(row.activeConnections),
            fmt::clientRate(row.uploadBps),
            fmt::clientRate(row.downloadBps),
            fmt::clientBytes(row.totalUpload + row.totalDownload),
            error};
}

QList<ProxyBridgeRow> parseBridgeList(const QJsonObject& reply, const QString& nodeId,
                                      const QString& nodeName) {
    QList<ProxyBridgeRow> rows;
    for (const QJsonValue& value : reply.value(QStringLiteral("bridges")).toArray()) {
        if (value.isObject())
            rows << ProxyBridgeRow::fromJson(value.toObject(), nodeId, nodeName);
    }
    return rows;
}

BridgeListReply readBridgeListReply(bool networkError, const QString& transportError, int httpStatus,
                                    const QByteArray& body, const QString& nodeId) {
    BridgeListReply list;
    if (networkError || httpStatus < 1) {
        list.failure = transportError.isEmpty() ? QStringLiteral("请求失败") : transportError;
        list.offline = true;
        return list;
    }
    const net::RequestResult result{httpStatus, net::parseReplyObject(httpStatus, body)};
    // A list reply holds bridges, each with its own "error"; only an error beside no list is a refusal.
    if (result.failedUnlessRecord(QLatin1String("bridges"))) {
        list.failure = result.text();
        return list;
    }
    const QJsonObject& reply = result.reply;
    const fleet::CappedList capped = fleet::cappedList(reply, QStringLiteral("bridges"));
    list.total = capped.total;
    for (const QJsonValue& value : capped.items) {
        if (value.isObject())
            list.rows << ProxyBridgeRow::fromJson(value.toObject(), nodeId, QString());
    }
    return list;
}

void mergeNodeBridges(QList<ProxyBridgeRow>& list, const QString& nodeId, const QList<ProxyBridgeRow>& fresh,
                      const BridgeEdits& edits, quint64 stamp) {
    QHash<QString, int> freshByKey;
    for (int i = 0; i < fresh.size(); ++i)
        freshByKey.insert(fresh[i].key(), i);
    QSet<QString> previousKeys;
    QList<ProxyBridgeRow> merged;
    for (const ProxyBridgeRow& row : list) {
        const QString key = row.key();
        previousKeys.insert(key);
        if (row.nodeId != nodeId || edits.updatedSince(key, stamp))
            merged << row;
        else if (freshByKey.contains(key))
            merged << fresh[freshByKey.value(key)];
    }
    for (const ProxyBridgeRow& row : fresh) {
        const QString key = row.key();
        if (!previousKeys.contains(key) && !edits.deletedSince(key, stamp)) {
            previousKeys.insert(key);
            merged << row;
        }
    }
    list = merged;
}

int replaceBridgeRow(QList<ProxyBridgeRow>& list, const ProxyBridgeRow& row) {
    const QString key = row.key();
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].key() == key) {
            list[i] = row;
            return i;
        }
    }
    list << row;
    return int(list.size()) - 1;
}

bool removeBridgeRow(QList<ProxyBridgeRow>& list, const QString& key) {
    return list.removeIf([&](const ProxyBridgeRow& row) { return row.key() == key; }) > 0;
}

int rowToReselect(const QStringList& shownKeys, const QString& rememberedKey, int rememberedRow) {
    if (shownKeys.isEmpty())
        return -1;
    if (!rememberedKey.isEmpty()) {
        const qsizetype at = shownKeys.indexOf(rememberedKey);
        if (at >= 0)
            return int(at);
    }
    if (rememberedRow < 0)
        return -1;
    return std::min(rememberedRow, int(shownKeys.size()) - 1);
}

} // namespace proxy
