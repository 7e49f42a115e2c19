#pragma once

#include "model/Node.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <memory>

// ondivo-sim: a local stand-in for the Cloud API and for a fleet of Node Agents, each on its own
// 127.0.0.1 port, for tests and the demo.
//
// In-process use (Qt Test): construct, start() from the test's main thread, then point the client at
// cloudUrl() (ONDIVO_CLOUD_API_URL, ONDIVO_IPGEO_URL) and build Node records with agentNode(). Request
// handlers run on the HTTP library's own threads; every public member below is thread-safe, so a
// test may change state or faults while the client under test waits in a nested event loop.
// stop() (also run by the destructor) returns promptly even while requests hang on a fault.
//
// All JSON members follow the two services' wire format; snapshots are copies.
namespace sim {

// A fault replaces or disturbs the reply of every matching request.
struct Fault {
    int status = 0; // > 0: answer this status with {"error": errorText}; the route does not run
    QString errorText = QStringLiteral("simulated failure");
    int delayMs = 0;            // wait this long, then answer normally (or apply the other settings)
    int staleMs = 0;            // the route runs at once, its answer is held back this long (a stale reply)
    bool hang = false;          // accept the request and never answer (until the simulator stops)
    bool dropMidReply = false;  // the route runs, then the connection closes after half of the body
    bool malformedJson = false; // answer 200 with a body that is not JSON; the route does not run
    int times = -1;             // how many matching calls it applies to before it removes itself; -1 = all
    QJsonObject replyMembers;   // the route runs; these members then replace its own in a JSON success reply
};

// Fault target: kCloud or an Agent's name.
inline constexpr char kCloud[] = "cloud";

// A running Agent as the client reaches it.
struct AgentInfo {
    QString name;
    QString url;   // "http://127.0.0.1:PORT"
    QString token; // the Agent's bearer token
    int port = 0;
};

struct AgentOptions {
    QString name;                                     // unique; "agent-N" when empty
    QString token;                                    // random when empty
    QString version = QStringLiteral("0.5.30");       // reported "agentVersion"
    QString publicHost = QStringLiteral("127.0.0.1"); // host the RTMP/SRT addresses and socksAddr name
    bool tooOld = false; // "/agent/update" answers 404 (the client then uses "/exec")
    bool mediaMtxInstalled = true;
    bool mediaMtxRunning = true;
    bool gostInstalled = true;
    bool ffmpegInstalled = true;
};

// Fixed figures for "/status" (otherwise the Agent reports plausible, changing ones).
struct Usage {
    double cpu = 0;
    double memoryUsedPercent = 0;
    double memoryTotal = 16.0 * 1024 * 1024 * 1024;
    double diskUsedPercent = 0;
    double diskTotal = 100.0 * 1024 * 1024 * 1024;
    double rxRate = 0; // bytes per second
    double txRate = 0;
};

// Variants of the client release the updater's tests need.
struct PackageOptions {
    bool ignoreRange = false;     // answer every download with 200 and the whole package
    bool omitSize = false;        // manifest without "size"
    bool upperCaseSha256 = false; // manifest "sha256" in upper case
    bool wrongSha256 = false;     // manifest "sha256" of other bytes
};

class Simulator {
public:
    struct Options {
        QString dataDir;   // uploads and seeded media land here; a private temporary directory when empty
        int cloudPort = 0; // 0 = any free port
    };

    Simulator();
    explicit Simulator(const Options& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds the Cloud API; returns false when the port cannot be bound.
    bool start();
    // Stops every server; final for the Agents (the destructor calls it too).
    void stop();
    QString cloudUrl() const; // "http://127.0.0.1:PORT"; also the IP-geolocation base (ONDIVO_IPGEO_URL)
    int cloudPort() const;
    QString dataDir() const;

    // ---- Cloud: accounts and the sealed Node list ----
    // Creates (or resets the password of) an account.
    void addAccount(const QString& username, const QString& password);
    // Signs in as the service would; empty when the password is wrong.
    QString login(const QString& username, const QString& password);
    // Seals the Node with the client's own envelope code under username:password (the process-wide
    // sign-in state is saved and restored around it) and stores it; returns the Cloud's node id.
    // With agentName, the Agent's live rooms created from now on are bound to that id. The derived
    // keys stay in the process's envelope key cache; call crypto::clearKeyCache() to time a cold open.
    QString addNode(const QString& username, const QString& password, const QString& displayName,
                    const Node& node, const QString& agentName = QString());
    // Many at once, sealed in parallel; returns the ids in order.
    QStringList addNodes(const QString& username, const QString& password, const QList<Node>& nodes,
                         const QStringList& agentNames = QStringList());
    // Stores an envelope text as given (for damaged or foreign envelopes).
    QString addSealedNode(const QString& username, const QString& displayName, const QString& encryptedBlob);
    void linkNodeToAgent(const QString& nodeId, const QString& agentName);
    // How many room names a 409 NODE_IN_USE refusal lists (default 10); "roomCount" always has all.
    void setInUseRoomNameLimit(int limit);
    // [{"id", "displayName", "encryptedBlob"}] of the account.
    QJsonArray cloudNodes(const QString& username) const;

    // ---- Cloud: releases ----
    void setAgentRelease(const QString& version, const QJsonObject& changelog);
    QString agentReleaseVersion() const;
    void setClientRelease(const QString& version, const QJsonObject& changelog);
    // The package served at packageUrl(); the manifest then carries its size and SHA-256.
    bool setClientPackageFile(const QString& filePath, const QString& version);
    void setPackageOptions(const PackageOptions& options);
    QString packagePath() const; // route of the package download, a fault target
    QString packageUrl() const;
    void setIpGeoReply(const QJsonObject& reply); // empty: success with the caller's address
    void setBrowserProfiles(const QString& username, const QJsonArray& profiles);

    // ---- Agents ----
    AgentInfo startAgent(const AgentOptions& options = AgentOptions());
    QList<AgentInfo> agents() const;
    AgentInfo agent(const QString& name) const;
    // A Node record that reaches the Agent (host 127.0.0.1, a dummy key), ready for addNode.
    static Node agentNode(const AgentInfo& agent, const QString& name,
                          const QString& displayName = QString());
    // "ondivo://node?data=..." for the Node, as the import dialog expects it.
    static QString importCodeFor(const Node& node);
    void stopAgent(const QString& name);   // refuses connections from now on ("离线")
    bool resumeAgent(const QString& name); // listens again on the same port

    void pinUsage(const QString& agentName, const Usage& usage);
    void unpinUsage(const QString& agentName);
    void setAgentVersion(const QString& agentName, const QString& version);
    QString agentVersion(const QString& agentName) const;
    void setAgentTooOld(const QString& agentName, bool tooOld);
    // How long "/agent/update" keeps the Agent unreachable while it restarts (default 1500 ms).
    void setRestartDurationMs(int ms);
    // The next "/exec" replies (status and object); none set = success {"ok": true, "exitCode": 0}.
    void setExecReply(const QString& agentName, int status, const QJsonObject& reply);
    // How long a bridge "/test" stays `testing` before `lastTest` appears (default 3000 ms).
    void setBridgeTestDurationMs(int ms);
    // The chunk size the Agent imposes at "/files/upload/start" (0 = accept the client's).
    void setUploadChunkSize(const QString& agentName, qint64 bytes);
    // Chunk uploads to the Agent fail at random: failPercent of them answer 500 without storing,
    // dropPercent store the chunk and then close the connection before the reply (the client never
    // learns it arrived). 0 and 0 switch it off.
    void setUploadFaults(const QString& agentName, int failPercent, int dropPercent);
    // Chunks of zero bytes only are not written (the partial file is sparse, so it reads back the
    // same): multi-GiB uploads of sparse files without using the disk.
    void setSparseUploads(const QString& agentName, bool on);
    // "/files/videos", "/files/audio-folders" and "/proxy/bridges" list this many made-up entries after the
    // real ones (nothing on disk, no relay behind them): lists as long as a benchmark needs.
    void setSyntheticLists(const QString& agentName, int videos, int folders, int bridges);

    // Seeding and inspection of one Agent's state (objects in the Agent's wire format).
    QJsonObject addRtmpRoom(const QString& agentName, const QString& name, bool enabled = true,
                            bool online = false);
    void setRtmpRoomOnline(const QString& agentName, const QString& roomId, bool online);
    // Members as in PUT "/live/rooms/<id>", plus optional "cloudNodeId" and "status".
    QJsonObject addLiveRoom(const QString& agentName, const QJsonObject& room);
    // Live push: the running push enters the retry phase / stops with an error (an empty error: the push
    // ended by itself, "stopped").
    void simulatePushRetry(const QString& agentName, const QString& roomId, int retryDelaySeconds);
    void simulatePushFailure(const QString& agentName, const QString& roomId, const QString& error);
    QJsonObject addBridge(const QString& agentName, const QJsonObject& bridge);
    void startProxy(const QString& agentName, int port, const QString& username, const QString& password);
    // Media files on the Agent's disk (sparse when only a size is given).
    QString addVideo(const QString& agentName, const QString& relativePath, qint64 size);
    QString addAudioFile(const QString& agentName, const QString& folder, const QString& fileName,
                         qint64 size);
    QString videoDirectory(const QString& agentName) const;
    QString audioDirectory(const QString& agentName) const;
    // {"agentVersion", "engines", "rtmpRooms", "liveRooms", "bridges", "proxy", "uploads"}
    QJsonObject snapshot(const QString& agentName) const;

    // ---- Faults ----
    // method "" matches any; path is matched without the query, a trailing "*" matches any suffix.
    void setFault(const QString& target, const QString& method, const QString& path, const Fault& fault);
    void clearFault(const QString& target, const QString& method, const QString& path);
    void clearFaults();
    // Requests answered so far per target and path ("GET /status"), for tests that count calls.
    int callCount(const QString& target, const QString& method, const QString& path) const;

    // ---- Demo ----
    struct DemoAccount {
        QString username;
        QString password;
    };
    // Seeds an account with about six Nodes (one without Agent token, one offline), rooms,
    // proxies, bridges and files.
    DemoAccount seedDemo();

    // The line the standalone program prints once listening:
    // ONDIVO_SIM {"cloud": "...", "agents": [{"name", "url", "token"}]} (+ "account" after seedDemo).
    QString announcement() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sim

// Control routes on the Cloud API port (no token; loopback tools and the standalone smoke test):
//   POST   /__sim/faults   {"target", "method", "path", "status", "errorText", "delayMs", "staleMs", "hang",
//                           "dropMidReply", "malformedJson", "times", "replyMembers": {...}}
//   DELETE /__sim/faults
//   POST   /__sim/package  {"ignoreRange", "omitSize", "upperCaseSha256", "wrongSha256"}
//   POST   /__sim/agent    {"name", "tooOld", "version", "usage": {Usage members}, "restartMs",
//                           "uploadChunkSize", "syntheticLists": {"videos", "folders", "bridges"},
//                           "offline" (true: refuse connections, false: listen again),
//                           "endPush": {"roomId", "error"}}
//   GET    /__sim/state    {"agents": [...], "calls": {...}}
