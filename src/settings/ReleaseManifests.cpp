#include "settings/ReleaseManifests.h"

#include "app/AppConstants.h"
#include "net/RequestLayer.h"

namespace {

bool fetchInto(const char* path, QJsonObject& kept) {
    int status = 0;
    const QJsonObject reply = net::cloudRequest(QStringLiteral("GET"), QString::fromLatin1(path), {}, true, &status);
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
    return fetchInto(app::kAgentManifestPath, agent_);
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
