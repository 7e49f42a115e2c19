#include "AgentService.h"
#include "SimUtil.h"

#include <httplib.h>

#include <QDir>
#include <QtMath>

namespace sim::detail {
namespace {

const QString kMediaMtxVersions[] = {QStringLiteral("v1.9.3"), QStringLiteral("v1.11.2")};
const QString kGostVersions[] = {QStringLiteral("3.0.0-rc10"), QStringLiteral("3.0.0")};
const QString kFfmpegVersions[] = {QStringLiteral("6.0"), QStringLiteral("7.1")};

// A smooth, never-repeating wobble between 0 and 1 for live figures.
double wobble(double seed, double seconds, double period) {
    return 0.5 + 0.3 * qSin(seconds / period + seed) + 0.2 * qSin(seconds / (period * 0.37) + seed * 3.1);
}

} // namespace

AgentService::AgentService(const AgentOptions& options, const QString& dir, AgentSettings& settings,
                           FaultTable& faults, StopSignal& stop)
    : name_(options.name), token_(options.token.isEmpty() ? randomToken(32) : options.token),
      publicHost_(options.publicHost), dir_(dir), settings_(settings), stop_(stop),
      host_(options.name, faults, stop) {
    version_ = options.version;
    tooOld_ = options.tooOld;
    seed_ = QRandomGenerator::global()->bounded(100.0);
    bootMs_ = nowMs() - qint64(QRandomGenerator::global()->bounded(86400 * 20)) * 1000;
    mediaMtx_ = {options.mediaMtxInstalled, options.mediaMtxInstalled && options.mediaMtxRunning,
                 options.mediaMtxInstalled ? kMediaMtxVersions[0] : QString()};
    gost_ = {options.gostInstalled, options.gostInstalled,
             options.gostInstalled ? kGostVersions[0] : QString()};
    ffmpeg_ = {options.ffmpegInstalled, false, options.ffmpegInstalled ? kFfmpegVersions[0] : QString()};
    QDir().mkpath(videoDir());
    QDir().mkpath(audioDir());
    QDir().mkpath(uploadDir());
    installRoutes();
}

AgentService::~AgentService() {
    host_.stop();
}

bool AgentService::listen() {
    return host_.listen(0);
}

AgentInfo AgentService::info() const {
    return {name_, host_.url(), token_, host_.port()};
}

QString AgentService::videoDir() const {
    return dir_ + QStringLiteral("/videos");
}
QString AgentService::audioDir() const {
    return dir_ + QStringLiteral("/audio");
}
QString AgentService::uploadDir() const {
    return dir_ + QStringLiteral("/uploads");
}

bool AgentService::authorize(Call& call) {
    if (call.header("Authorization") == QStringLiteral("Bearer ") + token_)
        return true;
    sendError(call, 401, QStringLiteral("unauthorized: invalid agent token"));
    return false;
}

void AgentService::installRoutes() {
    host_.setAuthorizer([this](Call& call) { return authorize(call); });
    installCoreRoutes();
    installRtmpRoutes();
    installLiveRoutes();
    installProxyRoutes();
    installFileRoutes();
    installUploadRoutes();
}

void AgentService::installCoreRoutes() {
    host_.route("GET", "/status", [this](Call& c) {
        std::lock_guard lock(mutex_);
        sendJson(c, 200, statusLocked());
    });
    const struct {
        const char* prefix;
        Engine AgentService::*engine;
        bool mediaMtx;
    } engines[] = {{"/rtmp/mediamtx/", &AgentService::mediaMtx_, true},
                   {"/gost/", &AgentService::gost_, false},
                   {"/ffmpeg/", &AgentService::ffmpeg_, false}};
    for (const auto& e : engines) {
        for (const char* action : {"install", "update", "uninstall"}) {
            host_.route("POST", std::string(e.prefix) + action, [this, e, action](Call& c) {
                onEngine(c, this->*(e.engine), QLatin1String(action), e.mediaMtx);
            });
        }
    }
    for (const char* action : {"start", "stop", "restart"}) {
        host_.route("POST", std::string("/rtmp/") + action,
                    [this, action](Call& c) { onEngine(c, mediaMtx_, QLatin1String(action), true); });
    }
    host_.route("GET", "/ffmpeg/status", [this](Call& c) {
        std::lock_guard lock(mutex_);
        sendJson(c, 200, engineJson(ffmpeg_));
    });
    host_.route("POST", "/agent/update", [this](Call& c) { onAgentUpdate(c); });
    host_.route("POST", "/exec", [this](Call& c) { onExec(c); });
}

QJsonObject AgentService::engineJson(const Engine& engine) {
    return {{QStringLiteral("installed"), engine.installed},
            {QStringLiteral("running"), engine.running},
            {QStringLiteral("version"), engine.version}};
}

QJsonObject AgentService::mediaMtxJsonLocked() const {
    return engineJson(mediaMtx_);
}

QJsonObject AgentService::statusLocked() const {
    const double t = nowMs() / 1000.0;
    Usage u = usage_;
    if (!usagePinned_) {
        u.cpu = 3 + 60 * wobble(seed_, t, 23);
        u.memoryUsedPercent = 25 + 50 * wobble(seed_ + 1, t, 97);
        u.diskUsedPercent = 30 + 55 * wobble(seed_ + 2, t / 50, 400);
        u.rxRate = 20000 + 4e6 * wobble(seed_ + 3, t, 11);
        u.txRate = 10000 + 2e6 * wobble(seed_ + 4, t, 13);
    }
    auto usage = [](double percent, double total) {
        return QJsonObject{{QStringLiteral("usedPercent"), qRound(percent * 10) / 10.0},
                           {QStringLiteral("used"), qRound64(total * percent / 100)},
                           {QStringLiteral("total"), total}};
    };
    return {{QStringLiteral("agentVersion"), version_},
            {QStringLiteral("hostname"), name_},
            {QStringLiteral("uptimeSeconds"), (nowMs() - bootMs_) / 1000},
            {QStringLiteral("cpu"), qRound(u.cpu * 10) / 10.0},
            {QStringLiteral("memory"), usage(u.memoryUsedPercent, u.memoryTotal)},
            {QStringLiteral("disk"), usage(u.diskUsedPercent, u.diskTotal)},
            {QStringLiteral("network"), QJsonObject{{QStringLiteral("rxRate"), qRound64(u.rxRate)},
                                                    {QStringLiteral("txRate"), qRound64(u.txRate)}}},
            {QStringLiteral("mediaMTX"), engineJson(mediaMtx_)},
            {QStringLiteral("gost"), engineJson(gost_)},
            {QStringLiteral("ffmpeg"), engineJson(ffmpeg_)}};
}

void AgentService::onEngine(Call& call, Engine& engine, const QString& action, bool mediaMtx) {
    std::lock_guard lock(mutex_);
    const QString label = mediaMtx ? QStringLiteral("MediaMTX")
                                   : (&engine == &gost_ ? QStringLiteral("GOST") : QStringLiteral("FFmpeg"));
    const QString* versions =
        mediaMtx ? kMediaMtxVersions : (&engine == &gost_ ? kGostVersions : kFfmpegVersions);
    const bool service = mediaMtx || &engine == &gost_; // FFmpeg is a tool, not a service
    if (action == QLatin1String("install")) {
        if (!engine.installed)
            engine = {true, service, versions[0]};
        else if (service)
            engine.running = true;
    } else if (action == QLatin1String("update")) {
        if (!engine.installed)
            return sendError(call, 409, label + QStringLiteral(" 未安装"));
        engine.version = versions[1];
        engine.running = service;
    } else if (action == QLatin1String("uninstall")) {
        engine = {false, false, QString()};
        if (&engine == &gost_)
            proxy_.running = false;
        if (&engine == &gost_)
            for (auto& bridge : bridges_)
                bridge.running = false;
    } else { // start / stop / restart of the RTMP service
        if (!engine.installed)
            return sendError(call, 409, label + QStringLiteral(" 未安装"));
        engine.running = action != QLatin1String("stop");
        rtmpLog_.append(QStringLiteral("%1 INF [RTMP] service %2")
                            .arg(QDateTime::currentDateTime().toString(Qt::ISODate), action));
        if (!engine.running)
            for (auto& room : rtmpRooms_)
                room.online = false;
    }
    if (&engine == &gost_ && engine.running && proxy_.enabled && !proxy_.running) {
        proxy_.running = true;
        proxy_.startedMs = nowMs();
    }
    sendJson(call, 200, engineJson(engine));
}

void AgentService::onAgentUpdate(Call& call) {
    QString target;
    {
        std::lock_guard lock(mutex_);
        if (tooOld_)
            return sendError(call, 404, QStringLiteral("not found"));
        target = settings_.releaseVersion ? settings_.releaseVersion() : version_;
    }
    call.res.set_header("Connection", "close");
    sendJson(call, 200,
             {{QStringLiteral("ok"), true},
              {QStringLiteral("version"), target},
              {QStringLiteral("restarting"), true}});
    // The new version answers only once the Agent is back.
    host_.restartAfter(settings_.restartDurationMs, [this, target] { setVersion(target); });
}

void AgentService::onExec(Call& call) {
    int status = 200;
    QJsonObject reply{{QStringLiteral("ok"), true},
                      {QStringLiteral("exitCode"), 0},
                      {QStringLiteral("stdout"), QString()},
                      {QStringLiteral("stderr"), QString()}};
    const QString script = textOf(call.body, "script");
    if (script.trimmed().isEmpty())
        return sendError(call, 400, QStringLiteral("script 不能为空"));
    bool reinstall = false;
    QString target;
    {
        std::lock_guard lock(mutex_);
        if (!execReplies_.empty()) {
            status = execReplies_.front().first;
            reply = execReplies_.front().second;
            execReplies_.erase(execReplies_.begin());
        } else if (script.contains(QLatin1String("install.sh"))) {
            // The install script replaces the Agent with the current release, which can update itself.
            reinstall = true;
            target = settings_.releaseVersion ? settings_.releaseVersion() : version_;
            reply.insert(QStringLiteral("stdout"), QStringLiteral("Ondivo Agent %1 installed\n").arg(target));
        }
    }
    if (reinstall)
        call.res.set_header("Connection", "close");
    sendJson(call, status, reply);
    if (reinstall)
        host_.restartAfter(settings_.restartDurationMs, [this, target] {
            std::lock_guard lock(mutex_);
            version_ = target;
            tooOld_ = false;
        });
}

// ---- control ----

void AgentService::pinUsage(const Usage& usage) {
    std::lock_guard lock(mutex_);
    usage_ = usage;
    usagePinned_ = true;
}

void AgentService::unpinUsage() {
    std::lock_guard lock(mutex_);
    usagePinned_ = false;
}

void AgentService::setVersion(const QString& version) {
    std::lock_guard lock(mutex_);
    version_ = version;
}

QString AgentService::version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

void AgentService::setTooOld(bool tooOld) {
    std::lock_guard lock(mutex_);
    tooOld_ = tooOld;
}

void AgentService::setExecReply(int status, const QJsonObject& reply) {
    std::lock_guard lock(mutex_);
    execReplies_.emplace_back(status, reply);
}

void AgentService::setUploadChunkSize(qint64 bytes) {
    std::lock_guard lock(mutex_);
    forcedChunkSize_ = bytes;
}

void AgentService::setBoundNodeId(const QString& nodeId) {
    std::lock_guard lock(mutex_);
    boundNodeId_ = nodeId;
}

QJsonObject AgentService::snapshot() {
    std::lock_guard lock(mutex_);
    const qint64 now = nowMs();
    QJsonArray rtmp, live, bridges, uploads;
    for (const auto& room : rtmpRooms_)
        rtmp.append(rtmpRoomJsonLocked(room));
    for (auto& room : liveRooms_) {
        refreshPushLocked(room, now);
        live.append(room.fields);
    }
    for (auto& bridge : bridges_)
        bridges.append(bridgeJsonLocked(bridge, now));
    for (const auto& [id, upload] : uploads_)
        uploads.append(uploadJsonLocked(upload));
    return {{QStringLiteral("agentVersion"), version_},
            {QStringLiteral("boundNodeId"), boundNodeId_},
            {QStringLiteral("engines"), QJsonObject{{QStringLiteral("mediaMTX"), engineJson(mediaMtx_)},
                                                    {QStringLiteral("gost"), engineJson(gost_)},
                                                    {QStringLiteral("ffmpeg"), engineJson(ffmpeg_)}}},
            {QStringLiteral("rtmpRooms"), rtmp},
            {QStringLiteral("liveRooms"), live},
            {QStringLiteral("bridges"), bridges},
            {QStringLiteral("proxy"), proxyJsonLocked(now)},
            {QStringLiteral("uploads"), uploads}};
}

} // namespace sim::detail
