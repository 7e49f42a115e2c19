#include "CloudService.h"

#include "app/AppConstants.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <fstream>

namespace sim::detail {
namespace {

QString randomHex(int bytes) {
    QByteArray raw;
    while (raw.size() < bytes)
        raw += QUuid::createUuid().toRfc4122();
    return QString::fromLatin1(raw.left(bytes).toHex());
}

QJsonObject changelog(const QString& title, const QStringList& groups, const QList<QStringList>& entries) {
    QJsonArray items;
    for (int i = 0; i < groups.size(); ++i) {
        QJsonArray children;
        for (const QString& entry : entries.value(i))
            children.append(
                QJsonObject{{QStringLiteral("title"), entry}, {QStringLiteral("children"), QJsonArray()}});
        items.append(
            QJsonObject{{QStringLiteral("title"), groups[i]}, {QStringLiteral("children"), children}});
    }
    return QJsonObject{{QStringLiteral("title"), title}, {QStringLiteral("items"), items}};
}

QString fileSha256(const QString& path, qint64* size) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    *size = file.size();
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

CloudService::CloudService(Hooks hooks) : hooks_(std::move(hooks)) {
    agentVersion_ = QString::fromLatin1(app::kExpectedAgentVersion);
    agentChangelog_ =
        changelog(QStringLiteral("Agent %1 更新日志").arg(agentVersion_),
                  {QStringLiteral("新功能"), QStringLiteral("修复")},
                  {{QStringLiteral("直播推流失败后自动重试"), QStringLiteral("中转支持上游测速")},
                   {QStringLiteral("修复大文件分片上传偶发校验失败")}});
    clientVersion_ = QString::fromLatin1(app::kClientVersion);
}

void CloudService::setNamedRoomLimit(int limit) {
    std::lock_guard lock(mutex_);
    namedRoomLimit_ = limit;
}

void CloudService::setBaseUrl(const QString& url) {
    std::lock_guard lock(mutex_);
    baseUrl_ = url;
}

void CloudService::installRoutes(HttpHost& host) {
    host.setAuthorizer([this](Call& call) { return authorize(call); });
    host.route(
        "POST", "/api/auth/login", [this](Call& c) { onLogin(c, false); }, false);
    host.route(
        "POST", "/api/auth/register", [this](Call& c) { onLogin(c, true); }, false);
    host.route("GET", "/api/cloud/nodes", [this](Call& c) { onListNodes(c); });
    host.route("POST", "/api/cloud/nodes", [this](Call& c) { onAddNode(c); });
    host.route("DELETE", R"(/api/cloud/nodes/([^/]+))", [this](Call& c) { onDeleteNode(c); });
    host.route(
        "GET", "/api/releases/client/manifest", [this](Call& c) { onClientManifest(c); }, false);
    host.route(
        "GET", "/api/releases/client/changelog",
        [this](Call& c) {
            std::lock_guard lock(mutex_);
            sendJson(c, 200, clientChangelogLocked());
        },
        false);
    host.route(
        "GET", "/api/releases/agent/manifest",
        [this](Call& c) {
            std::lock_guard lock(mutex_);
            sendJson(
                c, 200,
                {{QStringLiteral("version"), agentVersion_}, {QStringLiteral("changelog"), agentChangelog_}});
        },
        false);
    host.route(
        "GET", "/api/releases/agent/changelog",
        [this](Call& c) {
            std::lock_guard lock(mutex_);
            sendJson(c, 200, agentChangelog_);
        },
        false);
    host.route(
        "GET", kPackageRoute, [this](Call& c) { onPackage(c); }, false);
    host.route(
        "GET", "/json/", [this](Call& c) { onIpGeo(c); }, false);
    host.route("GET", "/api/browser/profiles", [this](Call& c) {
        std::lock_guard lock(mutex_);
        sendJson(c, 200, {{QStringLiteral("profiles"), accounts_[c.account].profiles}});
    });
}

bool CloudService::authorize(Call& call) {
    const QString header = call.header("Authorization");
    const QString prefix = QStringLiteral("Bearer ");
    std::lock_guard lock(mutex_);
    if (header.startsWith(prefix)) {
        const auto it = tokens_.find(header.mid(prefix.size()).trimmed());
        if (it != tokens_.end()) {
            call.account = it->second;
            return true;
        }
    }
    sendError(call, 401, QStringLiteral("未登录或登录已过期"));
    return false;
}

QString CloudService::issueTokenLocked(const QString& username) {
    const QString token = randomHex(24);
    tokens_[token] = username;
    return token;
}

void CloudService::addAccount(const QString& username, const QString& password) {
    std::lock_guard lock(mutex_);
    accounts_[username].password = password;
}

QString CloudService::login(const QString& username, const QString& password) {
    std::lock_guard lock(mutex_);
    const auto it = accounts_.find(username);
    if (it == accounts_.end() || it->second.password != password)
        return {};
    return issueTokenLocked(username);
}

void CloudService::onLogin(Call& call, bool registering) {
    const QString username = call.body.value(QStringLiteral("username")).toString();
    const QString password = call.body.value(QStringLiteral("password")).toString();
    if (username.trimmed().isEmpty() || password.isEmpty())
        return sendError(call, 400, QStringLiteral("账号和密码不能为空"));
    std::lock_guard lock(mutex_);
    auto it = accounts_.find(username);
    if (registering) {
        if (it != accounts_.end())
            return sendError(call, 409, QStringLiteral("账号已存在"));
        accounts_[username].password = password;
    } else if (it == accounts_.end() || it->second.password != password) {
        return sendError(call, 401, QStringLiteral("账号或密码错误"));
    }
    sendJson(call, 200,
             {{QStringLiteral("token"), issueTokenLocked(username)}, {QStringLiteral("username"), username}});
}

QString CloudService::addNode(const QString& username, const QString& displayName, const QString& blob) {
    std::lock_guard lock(mutex_);
    StoredNode node{QUuid::createUuid().toString(QUuid::WithoutBraces), displayName, blob,
                    QDateTime::currentSecsSinceEpoch()};
    accounts_[username].nodes.push_back(node);
    return node.id;
}

QJsonArray CloudService::nodes(const QString& username) const {
    std::lock_guard lock(mutex_);
    QJsonArray list;
    const auto it = accounts_.find(username);
    if (it == accounts_.end())
        return list;
    for (const StoredNode& node : it->second.nodes)
        list.append(QJsonObject{{QStringLiteral("id"), node.id},
                                {QStringLiteral("displayName"), node.displayName},
                                {QStringLiteral("encryptedBlob"), node.blob},
                                {QStringLiteral("createdAt"), node.createdAt}});
    return list;
}

void CloudService::onListNodes(Call& call) {
    sendJson(call, 200, {{QStringLiteral("nodes"), nodes(call.account)}});
}

void CloudService::onAddNode(Call& call) {
    const QJsonValue blob = call.body.value(QStringLiteral("encryptedBlob"));
    if (!blob.isString() || blob.toString().trimmed().isEmpty())
        return sendError(call, 400, QStringLiteral("encryptedBlob 不能为空"));
    const QString displayName = call.body.value(QStringLiteral("displayName")).toString();
    const QString id = addNode(call.account, displayName, blob.toString());
    sendJson(call, 201,
             {{QStringLiteral("id"), id},
              {QStringLiteral("displayName"), displayName},
              {QStringLiteral("encryptedBlob"), blob.toString()}});
}

void CloudService::onDeleteNode(Call& call) {
    const QString id = call.match(1);
    {
        std::lock_guard lock(mutex_);
        const auto& list = accounts_[call.account].nodes;
        if (std::none_of(list.begin(), list.end(), [&](const StoredNode& n) { return n.id == id; }))
            return sendError(call, 404, QStringLiteral("节点不存在"));
    }
    const bool force = call.param("force") == QLatin1String("1");
    const QStringList rooms = hooks_.roomsBoundTo ? hooks_.roomsBoundTo(id) : QStringList();
    if (!rooms.isEmpty() && !force) {
        // Like a real service, the refusal names only the first few rooms; roomCount has them all.
        QJsonArray named;
        int limit = 0;
        {
            std::lock_guard lock(mutex_);
            limit = namedRoomLimit_;
        }
        for (const QString& name : rooms.mid(0, limit))
            named.append(QJsonObject{{QStringLiteral("name"), name}});
        return sendJson(
            call, 409,
            {{QStringLiteral("code"), QStringLiteral("NODE_IN_USE")},
             {QStringLiteral("error"), QStringLiteral("节点正在被 %1 个直播房间使用").arg(rooms.size())},
             {QStringLiteral("rooms"), named},
             {QStringLiteral("roomCount"), int(rooms.size())}});
    }
    if (!rooms.isEmpty() && hooks_.unbindRooms)
        hooks_.unbindRooms(id);
    {
        std::lock_guard lock(mutex_);
        std::erase_if(accounts_[call.account].nodes, [&](const StoredNode& n) { return n.id == id; });
    }
    sendJson(call, 200, {{QStringLiteral("ok"), true}, {QStringLiteral("unboundRooms"), int(rooms.size())}});
}

// ---- releases ----

void CloudService::setAgentRelease(const QString& version, const QJsonObject& log) {
    std::lock_guard lock(mutex_);
    agentVersion_ = version;
    agentChangelog_ = log;
}

QString CloudService::agentReleaseVersion() const {
    std::lock_guard lock(mutex_);
    return agentVersion_;
}

void CloudService::setClientRelease(const QString& version, const QJsonObject& log) {
    std::lock_guard lock(mutex_);
    clientVersion_ = version;
    clientChangelog_ = log;
    clientChangelogGiven_ = true;
}

bool CloudService::setClientPackageFile(const QString& filePath, const QString& version) {
    qint64 size = 0;
    const QString digest = fileSha256(filePath, &size);
    if (digest.isEmpty())
        return false;
    std::lock_guard lock(mutex_);
    packageFile_ = QFileInfo(filePath).absoluteFilePath();
    packageSize_ = size;
    packageSha256_ = digest;
    if (!version.isEmpty())
        clientVersion_ = version;
    return true;
}

void CloudService::setPackageOptions(const PackageOptions& options) {
    std::lock_guard lock(mutex_);
    packageOptions_ = options;
}

QJsonObject CloudService::clientChangelogLocked() const {
    if (clientChangelogGiven_)
        return clientChangelog_;
    return changelog(QStringLiteral("客户端 %1 更新日志").arg(clientVersion_), {QStringLiteral("改进")},
                     {{QStringLiteral("节点列表加载更快"), QStringLiteral("上传支持断点续传")}});
}

void CloudService::onClientManifest(Call& call) {
    std::lock_guard lock(mutex_);
    QJsonObject manifest{{QStringLiteral("version"), clientVersion_},
                         {QStringLiteral("changelog"), clientChangelogLocked()}};
    if (!packageFile_.isEmpty()) {
        manifest.insert(QStringLiteral("url"), QString(baseUrl_ + QLatin1String(kPackageRoute)));
        manifest.insert(QStringLiteral("packageName"), QFileInfo(packageFile_).fileName());
        QString digest = packageSha256_;
        if (packageOptions_.wrongSha256)
            digest = QString::fromLatin1(
                QCryptographicHash::hash(digest.toLatin1(), QCryptographicHash::Sha256).toHex());
        if (packageOptions_.upperCaseSha256)
            digest = digest.toUpper();
        manifest.insert(QStringLiteral("sha256"), digest);
        if (!packageOptions_.omitSize)
            manifest.insert(QStringLiteral("size"), double(packageSize_));
    }
    sendJson(call, 200, manifest);
}

void CloudService::onPackage(Call& call) {
    QString path;
    qint64 size = 0;
    bool ignoreRange = false;
    {
        std::lock_guard lock(mutex_);
        path = packageFile_;
        size = packageSize_;
        ignoreRange = packageOptions_.ignoreRange;
    }
    auto stream = std::make_shared<std::ifstream>(path.toStdString(), std::ios::binary);
    if (path.isEmpty() || !*stream)
        return sendError(call, 404, QStringLiteral("没有可下载的客户端安装包"));
    // A single range is answered here rather than by the HTTP library, whose Content-Range names the
    // requested end even when it lies past the file, and which does not refuse a start past the end.
    auto& ranges = const_cast<httplib::Request&>(call.req).ranges; // the server's own, non-const request
    qint64 offset = 0;
    qint64 length = size;
    bool partial = false;
    if (!ignoreRange && ranges.size() == 1) {
        const auto [first, last] = ranges.front();
        qint64 begin = first;
        qint64 end = (last < 0 || last >= size) ? size - 1 : last;
        if (first < 0) { // "bytes=-N": the last N bytes
            begin = last > 0 ? std::max<qint64>(0, size - last) : size;
            end = size - 1;
        }
        ranges.clear();
        if (begin >= size || end < begin) {
            call.res.set_header("Content-Range", QStringLiteral("bytes */%1").arg(size).toStdString());
            return sendError(call, 416, QStringLiteral("请求的范围超出文件大小"));
        }
        offset = begin;
        length = end - begin + 1;
        partial = true;
    }
    if (ignoreRange)
        ranges.clear();
    if (partial) {
        call.res.status = 206;
        call.res.set_header(
            "Content-Range",
            QStringLiteral("bytes %1-%2/%3").arg(offset).arg(offset + length - 1).arg(size).toStdString());
    } else if (ranges.empty()) {
        call.res.status = 200;
    }
    // A dropped reply stops halfway through the piece asked for (the whole file or one range).
    auto dropAt = std::make_shared<qint64>(call.dropMidReply ? -1 : std::numeric_limits<qint64>::max());
    call.dropHandled = true;
    call.res.set_header("Accept-Ranges", "bytes");
    call.res.set_content_provider(
        size_t(length), "application/zip",
        [stream, dropAt, offset](size_t at, size_t count, httplib::DataSink& sink) {
            if (*dropAt < 0)
                *dropAt = qint64(at + count / 2);
            if (qint64(at) >= *dropAt)
                return false;
            constexpr size_t kPiece = 256 * 1024;
            std::vector<char> buffer(std::min({count, kPiece, size_t(*dropAt - qint64(at))}));
            stream->clear();
            stream->seekg(std::streamoff(offset + qint64(at)));
            stream->read(buffer.data(), std::streamsize(buffer.size()));
            const auto got = size_t(stream->gcount());
            if (got == 0)
                return false;
            return sink.write(buffer.data(), got);
        });
}

void CloudService::setIpGeoReply(const QJsonObject& reply) {
    std::lock_guard lock(mutex_);
    ipGeoReply_ = reply;
}

void CloudService::onIpGeo(Call& call) {
    std::lock_guard lock(mutex_);
    if (!ipGeoReply_.isEmpty())
        return sendJson(call, 200, ipGeoReply_);
    sendJson(call, 200,
             {{QStringLiteral("status"), QStringLiteral("success")},
              {QStringLiteral("query"), call.peerAddress()},
              {QStringLiteral("country"), QStringLiteral("Hong Kong")},
              {QStringLiteral("countryCode"), QStringLiteral("HK")},
              {QStringLiteral("timezone"), QStringLiteral("Asia/Hong_Kong")}});
}

void CloudService::setBrowserProfiles(const QString& username, const QJsonArray& profiles) {
    std::lock_guard lock(mutex_);
    accounts_[username].profiles = profiles;
}

} // namespace sim::detail
