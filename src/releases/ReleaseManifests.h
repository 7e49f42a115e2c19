#pragma once

#include "app/ContextCallbacks.h"
#include "releases/Changelog.h"

#include <QJsonObject>
#include <QString>
#include <functional>

// The client and Agent release manifests read from the Cloud API, kept for the life of the main
// window once one with a non-empty "version" arrived; a failed fetch keeps the previous one.
class ReleaseManifests {
public:
    // Each returns true when a new manifest was kept.
    bool fetchClientManifest();
    bool fetchAgentManifest();
    // Runs callback after every Agent manifest that was kept, for as long as context lives.
    void whenAgentManifestKept(QObject* context, std::function<void()> callback);
    // The Agent change log: the manifest's (fetched first when none is kept), else the Cloud API's,
    // else an empty log with the default title.
    releases::Changelog agentChangelog();

    const QJsonObject& clientManifest() const { return client_; }
    const QJsonObject& agentManifest() const { return agent_; }
    bool hasClientManifest() const { return !client_.isEmpty(); }
    bool hasAgentManifest() const { return !agent_.isEmpty(); }

    // The manifest's "version", or empty when none is kept.
    QString clientVersion() const;
    QString agentVersion() const;
    // The Agent version rows are compared with: the manifest's, else the built-in expectation.
    QString latestAgentVersion() const;
    // True when the kept client manifest names any version other than this client's.
    bool clientUpdateAvailable() const;

    // For tests and for callers that got a manifest another way.
    void setClientManifest(const QJsonObject& manifest) { client_ = manifest; }
    void setAgentManifest(const QJsonObject& manifest) { agent_ = manifest; }

private:
    QJsonObject client_;
    QJsonObject agent_;
    app::ContextCallbacks<> agentKept_;
};
