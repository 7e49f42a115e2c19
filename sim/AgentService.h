#pragma once

#include "HttpHost.h"
#include "SocksRelay.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace sim::detail {

// Settings shared by every Agent of one simulator.
struct AgentSettings {
    std::atomic<int> restartDurationMs{1500};
    std::atomic<int> bridgeTestDurationMs{3000};
    std::function<QString()> releaseVersion; // the Cloud's Agent version, reached after an update
};

// One simulated Node Agent: its engines, rooms, pushes, proxy, bridges, media files and uploads,
// behind its own HTTP server. All state sits behind one mutex; media files live on disk under dir.
class AgentService {
public:
    AgentService(const AgentOptions& options, const QString& dir, AgentSettings& settings, FaultTable& faults,
                 StopSignal& stop);
    ~AgentService();

    bool listen();
    AgentInfo info() const;
    HttpHost& host() { return host_; }
    QString videoDir() const;
    QString audioDir() const;

    // Control from the simulator's API.
    void pinUsage(const Usage& usage);
    void unpinUsage();
    void setVersion(const QString& version);
    QString version() const;
    void setTooOld(bool tooOld);
    void setExecReply(int status, const QJsonObject& reply);
    void setUploadChunkSize(qint64 bytes);
    void setUploadFaults(int failPercent, int dropPercent);
    void setSparseUploads(bool on);
    void setSyntheticLists(int videos, int folders, int bridges);
    void setBoundNodeId(const QString& nodeId);
    QJsonObject addRtmpRoom(const QString& name, bool enabled, bool online);
    void setRtmpRoomOnline(const QString& id, bool online);
    QJsonObject addLiveRoom(const QJsonObject& room);
    void simulatePushRetry(const QString& roomId, int retryDelaySeconds);
    void simulatePushFailure(const QString& roomId, const QString& error);
    QJsonObject addBridge(const QJsonObject& bridge);
    void startProxy(int port, const QString& username, const QString& password);
    QStringList roomsBoundTo(const QString& nodeId) const;
    void unbindRooms(const QString& nodeId);
    QJsonObject snapshot();

private:
    struct Engine {
        bool installed = false;
        bool running = false;
        QString version;
    };
    struct RtmpRoom {
        QString id, name, roomKey, accessKey;
        bool enabled = true;
        bool online = false;
        qint64 createdAt = 0, updatedAt = 0;
    };
    struct LivePush {
        bool running = false;
        qint64 startedMs = 0;
        qint64 retryNextAtMs = 0; // > 0 while waiting to restart
        int retryDelaySeconds = 0;
        QString error;
    };
    struct LiveRoom {
        QJsonObject fields; // the stored room in wire format
        LivePush push;
        QStringList events;
        QStringList ffmpegLog;
    };
    struct Bridge {
        QJsonObject config; // id, name, listen, port, username, password, upstream*
        bool running = false;
        qint64 startedMs = 0;
        qint64 testStartedMs = 0; // > 0 while testing
        QJsonObject pendingTest;
        QJsonObject lastTest;
        double totalUpload = 0, totalDownload = 0;
        std::shared_ptr<SocksRelay> relay; // the live entry while running with a loopback upstream
    };
    struct Proxy {
        bool enabled = false;
        bool running = false;
        int port = 0;
        QString listen = QStringLiteral("0.0.0.0");
        QString username, password;
        qint64 startedMs = 0;
    };
    struct Upload {
        QString id, kind, fileName, folder, tempPath;
        qint64 size = 0, chunkSize = 0, totalChunks = 0;
        bool overwrite = false;
        std::set<qint64> received;
    };

    bool authorize(Call& call);
    void installRoutes();
    void installCoreRoutes();
    void installRtmpRoutes();
    void installHlsRoutes();
    void installLiveRoutes();
    void installProxyRoutes();
    void installFileRoutes();
    void installUploadRoutes();

    // Core: status, engines, self-update.
    QJsonObject statusLocked() const;
    QJsonObject mediaMtxJsonLocked() const;
    static QJsonObject engineJson(const Engine& engine);
    void onEngine(Call& call, Engine& engine, const QString& action, bool mediaMtx);
    void onAgentUpdate(Call& call);
    void onExec(Call& call);

    // RTMP rooms.
    QJsonObject rtmpRoomJsonLocked(const RtmpRoom& room) const;
    RtmpRoom* findRtmpLocked(const QString& id);
    bool isPublishedLocked(const QString& publishUrl) const;
    QJsonObject rtmpStatusLocked() const;
    // The room's name (possibly empty), or a null text when no room has this key.
    QString roomNameForKeyLocked(const QString& roomKey) const;

    // Live rooms and pushes.
    LiveRoom* findLiveLocked(const QString& id);
    void refreshPushLocked(LiveRoom& room, qint64 nowMs);
    QJsonObject liveStatusLocked(LiveRoom& room, qint64 nowMs);
    void stopPushLocked(LiveRoom& room, const QString& status, const QString& error);
    void logEventLocked(LiveRoom& room, const QString& text);
    QString startPushLocked(LiveRoom& room, const QJsonObject& request);

    // Proxy and bridges.
    QJsonObject proxyJsonLocked(qint64 nowMs) const;
    QJsonObject bridgeJsonLocked(Bridge& bridge, qint64 nowMs);
    Bridge* findBridgeLocked(const QString& id);
    QString applyBridgeConfig(QJsonObject& config, const QJsonObject& body, bool creating) const;
    // Opens (or reopens) the relayed entry of a running bridge whose upstream is on loopback; the reason
    // when the entry cannot listen.
    QString startRelayLocked(Bridge& bridge);
    QString portTakenLocked(int port, const QString& exceptBridge, bool exceptProxy) const;

    // Files.
    QStringList roomsUsingLocked(const QString& video, const QString& folder) const;
    QString uploadDir() const;
    QJsonObject uploadJsonLocked(const Upload& upload) const;

    QString name_;
    QString token_;
    QString publicHost_;
    QString dir_;
    AgentSettings& settings_;
    StopSignal& stop_;
    HttpHost host_;

    mutable std::mutex mutex_;
    QString version_;
    bool tooOld_ = false;
    bool usagePinned_ = false;
    Usage usage_;
    double seed_ = 0;
    qint64 bootMs_ = 0;
    Engine mediaMtx_, gost_, ffmpeg_;
    std::vector<std::pair<int, QJsonObject>> execReplies_;
    qint64 forcedChunkSize_ = 0;
    int chunkFailPercent_ = 0;
    int chunkDropPercent_ = 0;
    bool sparseUploads_ = false;
    // Entries listed after the real ones, with no file or relay behind them (large-list benchmarks).
    int syntheticVideos_ = 0;
    int syntheticFolders_ = 0;
    int syntheticBridges_ = 0;
    QString boundNodeId_;
    std::vector<RtmpRoom> rtmpRooms_;
    QStringList rtmpLog_;
    std::vector<LiveRoom> liveRooms_;
    Proxy proxy_;
    std::vector<Bridge> bridges_;
    std::map<QString, Upload> uploads_;
};

} // namespace sim::detail
