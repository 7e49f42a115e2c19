#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace proxy {

// One bridge as the client holds it: a SOCKS5 entry on a Node that relays to an upstream SOCKS5 proxy.
// The Node is named by its id, so a row stays with its Node across reloads of the Node list.
struct ProxyBridgeRow {
    QString nodeId;
    QString nodeName;
    QString id;
    QString name;
    QString listen = QStringLiteral("0.0.0.0");
    int port = 0;
    QString username;
    QString password;
    QString upstreamType = QStringLiteral("socks5");
    QString upstreamHost;
    int upstreamPort = 0;
    QString upstreamUsername;
    QString upstreamPassword;
    bool running = false;
    QString socksAddr;
    QString upstreamAddr;
    int activeConnections = 0;
    double uploadBps = 0;
    double downloadBps = 0;
    double totalUpload = 0;
    double totalDownload = 0;
    qint64 uptimeSeconds = 0;
    QString error;
    bool testing = false;
    qint64 testStartedAt = 0;
    qint64 tcpConnectMs = 0;
    QString tcpConnectError;
    int latencySuccess = 0;
    int latencyAttempts = 0;
    qint64 latencyMinMs = 0;
    qint64 latencyAvgMs = 0;
    double downloadBytesPerSecond = 0;
    qint64 downloadBytes = 0;
    qint64 downloadDurationMs = 0;
    qint64 testedAt = 0;
    QString testError;
    // Set only on the row that stands for a Node whose list could not be read: its state word
    // ("离线", "失败", "未接入"), with the reason in error. Such a row has no bridge id.
    QString failedState;

    static ProxyBridgeRow fromJson(const QJsonObject& object, const QString& nodeId, const QString& nodeName);
    // "<Node id>|<bridge id>", "__service__" standing in for an empty bridge id.
    QString key() const;
    bool isFailureRow() const { return !failedState.isEmpty(); }
    bool hasUpstream() const { return !upstreamHost.isEmpty() && upstreamPort >= 1; }
};

inline constexpr int kBridgeColumnCount = 13;

// The 13 cell texts of a bridge row.
QStringList bridgeCells(const ProxyBridgeRow& row);
// Column 5: "测试中", "--", or "<tcp> / <latency>" with "失败" for a part that did not succeed.
QString bridgeLatencyText(const ProxyBridgeRow& row);
// The row for a Node whose bridge list could not be read.
ProxyBridgeRow bridgeFailureRow(const QString& nodeId, const QString& nodeName, const QString& state,
                                const QString& reason);
// The bridges of a list reply ({"bridges": [...]}), in array order.
QList<ProxyBridgeRow> parseBridgeList(const QJsonObject& reply, const QString& nodeId,
                                      const QString& nodeName);

// One Node's list poll as read on the poll cycle's worker thread: no more than a page shows of its bridges
// (their Node name still empty), how many the Agent listed, and why the list could not be read (a network
// error, an HTTP error, or a success whose body is no JSON object: "回复格式错误"). Empty failure = read.
struct BridgeListReply {
    QList<ProxyBridgeRow> rows;
    qsizetype total = 0;
    QString failure;
    bool offline = false; // no answer at all, as opposed to an answer that refused
    bool isCut() const { return total > rows.size(); }
};
BridgeListReply readBridgeListReply(bool networkError, const QString& transportError, int httpStatus,
                                    const QByteArray& body, const QString& nodeId);

// Single-bridge changes the user made (create, save, start, stop, test, delete), each stamped with a
// sequence number. A list request remembers the number current when it was sent; its reply must not undo
// a change made after that: a deleted bridge stays deleted, a saved or created one keeps its own row.
class BridgeEdits {
public:
    quint64 stamp() const { return sequence_; }
    void noteUpdated(const QString& key) { updated_.insert(key, ++sequence_); }
    void noteDeleted(const QString& key) { deleted_.insert(key, ++sequence_); }
    bool deletedSince(const QString& key, quint64 stamp) const { return deleted_.value(key, 0) > stamp; }
    bool updatedSince(const QString& key, quint64 stamp) const { return updated_.value(key, 0) > stamp; }
    void clear() {
        updated_.clear();
        deleted_.clear();
    }

private:
    quint64 sequence_ = 0;
    QHash<QString, quint64> updated_;
    QHash<QString, quint64> deleted_;
};

// Merges what one list request of the Node nodeId returned (sent when edits stood at stamp) into list:
// that Node's rows are replaced in place or dropped when the reply lacks them, bridges new to the list
// are appended in reply order; rows of other Nodes stay as they are.
void mergeNodeBridges(QList<ProxyBridgeRow>& list, const QString& nodeId, const QList<ProxyBridgeRow>& fresh,
                      const BridgeEdits& edits, quint64 stamp);
// Replaces the row with the same key, or appends it; returns its position.
int replaceBridgeRow(QList<ProxyBridgeRow>& list, const ProxyBridgeRow& row);
// Removes the row with this key; returns whether one was there.
bool removeBridgeRow(QList<ProxyBridgeRow>& list, const QString& key);

// The row to select after the list changed: the remembered key when it is still shown, else the
// remembered position clamped to the last row; -1 for an empty table or nothing remembered.
int rowToReselect(const QStringList& shownKeys, const QString& rememberedKey, int rememberedRow);

} // namespace proxy
