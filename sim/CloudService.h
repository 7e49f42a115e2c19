#pragma once

#include "HttpHost.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace sim::detail {

// The Cloud API: accounts and bearer tokens, each account's sealed Node list (kept opaque), release
// manifests with the client package, browser profiles and the IP-geolocation answer.
class CloudService {
public:
    struct Hooks {
        // Names of the live rooms (on any Agent) bound to a Cloud node id.
        std::function<QStringList(const QString& nodeId)> roomsBoundTo;
        // Unbinds them; rooms that were streaming or retrying end in "error".
        std::function<void(const QString& nodeId)> unbindRooms;
    };

    explicit CloudService(Hooks hooks);
    void installRoutes(HttpHost& host);

    void addAccount(const QString& username, const QString& password);
    QString login(const QString& username, const QString& password);
    QString addNode(const QString& username, const QString& displayName, const QString& blob);
    QJsonArray nodes(const QString& username) const;

    void setAgentRelease(const QString& version, const QJsonObject& changelog);
    QString agentReleaseVersion() const;
    void setClientRelease(const QString& version, const QJsonObject& changelog);
    bool setClientPackageFile(const QString& filePath, const QString& version);
    void setPackageOptions(const PackageOptions& options);
    void setIpGeoReply(const QJsonObject& reply);
    void setBrowserProfiles(const QString& username, const QJsonArray& profiles);
    void setBaseUrl(const QString& url);
    void setNamedRoomLimit(int limit);

    static constexpr char kPackageRoute[] = "/api/releases/client/package";

private:
    struct StoredNode {
        QString id;
        QString displayName;
        QString blob;
        qint64 createdAt = 0;
    };
    struct Account {
        QString password;
        std::vector<StoredNode> nodes;
        QJsonArray profiles;
    };

    bool authorize(Call& call);
    void onLogin(Call& call, bool registering);
    void onListNodes(Call& call);
    void onAddNode(Call& call);
    void onDeleteNode(Call& call);
    void onClientManifest(Call& call);
    void onPackage(Call& call);
    void onIpGeo(Call& call);
    QString issueTokenLocked(const QString& username);
    QJsonObject clientChangelogLocked() const;

    Hooks hooks_;
    mutable std::mutex mutex_;
    std::map<QString, Account> accounts_;
    std::map<QString, QString> tokens_; // token -> account
    QString agentVersion_;
    QJsonObject agentChangelog_;
    QString clientVersion_;
    QJsonObject clientChangelog_;
    bool clientChangelogGiven_ = false;
    int namedRoomLimit_ = 10;
    QString packageFile_;
    qint64 packageSize_ = 0;
    QString packageSha256_;
    PackageOptions packageOptions_;
    QJsonObject ipGeoReply_;
    QString baseUrl_;
};

} // namespace sim::detail
