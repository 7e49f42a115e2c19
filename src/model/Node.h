#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

// The Agent endpoint of a Node.
struct AgentApi {
    QString scheme = QStringLiteral("http");
    QString host;
    int port = 39271;
    QString token;

    bool operator==(const AgentApi&) const = default;
};

// One managed server as the client knows it.
struct Node {
    QString id; // the Cloud API's identifier; not part of the Node's JSON form
    QString displayName;
    QString name;
    QString host;
    int port = 22;
    QString username = QStringLiteral("root");
    QString privateKey;
    QString hostFingerprint;
    AgentApi agentApi;
    QString lastAgentVersion; // memory only, from the latest status reply

    bool hasAgentEndpoint() const { return !agentApi.host.isEmpty() && !agentApi.token.isEmpty(); }
    bool operator==(const Node&) const = default;
};

inline constexpr char kImportCodePrefix[] = "ondivo://node?data=";

Node parseNode(const QJsonObject& object);
QJsonObject nodeToJson(const Node& node);
std::optional<Node> parseImportCode(const QString& text);
QString nodeLabel(const Node& node);
