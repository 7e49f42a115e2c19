#include "releases/ReleaseManifests.h"

#include "app/AppConstants.h"
#include "net/RequestLayer.h"

namespace {

bool fetchInto(const char* path, QJsonObject& kept) {
    int status = 0;
    const QJsonObject reply =
        net::cloudRequest(QStringLiteral("GET"), QString::fromLatin1(path), {}, true, &status);
    if (status < 1 || status > 299 || reply.value(QLatin1String("version")).toString().isEmpty())
        return false;
    kept = reply;
    return true;
}

} // namespace

bool ReleaseManifests::fetchClientManifest() {
    return fetchInto(app::kClientManifestPath, client_);
}

bool ReleaseManifests::fetchAgentManifest() {
    if (!fetchInto(app::kAgentManifestPath, agent_))
        return false;
    agentKept_.run();
    return true;
}

void ReleaseManifests::whenAgentManifestKept(QObject* context, std::function<void()> callback) {
    agentKept_.add(context, std::move(callback));
}

releases::Changelog ReleaseManifests::agentChangelog() {
    if (!hasAgentManifest())
        fetchAgentManifest();
    QJsonObject changelog = agent_.value(QLatin1String("changelog")).toObject();
    if (changelog.isEmpty()) {
        int status = 0;
        const QJsonObject reply =
            net::cloudRequest(QStringLiteral("GET"), QString::fromLatin1(app::kAgentChangelogPath),
                              QJsonObject(), true, &status);
        if (status >= 200 && status < 300)
            changelog = reply;
    }
    return releases::parseChangelog(changelog, QString::fromUtf8(releases::kAgentChangelogTitle));
}

QString ReleaseManifests::clientVersion() const {
    return client_.value(QLatin1String("version")).toString();
}

QString ReleaseManifests::agentVersion() const {
    return agent_.value(QLatin1String("version")).toString();
}

QString ReleaseManifests::latestAgentVersion() const {
    const QString version = agentVersion();
    return version.isEmpty() ? QString::fromLatin1(app::kExpectedAgentVersion) : version;
}

bool ReleaseManifests::clientUpdateAvailable() const {
    const QString version = clientVersion();
    return !version.isEmpty() && version != QLatin1String(app::kClientVersion);
}
