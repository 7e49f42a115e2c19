#include "model/Node.h"

#include <QJsonDocument>
#include <QJsonValue>

namespace {

QString textMember(const QJsonObject& object, const char* key, const QString& fallback = QString()) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : fallback;
}

// A port is a whole number from 1 to 65535. The range is checked before the conversion: converting
// a double outside the integer's range (1e300) is undefined behaviour.
bool isPortNumber(double number) {
    return number >= 1 && number <= 65535 && number == double(int(number));
}

int portMember(const QJsonObject& object, const char* key, int fallback) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble() || !isPortNumber(value.toDouble()))
        return fallback;
    return int(value.toDouble());
}

} // namespace

Node parseNode(const QJsonObject& object) {
    Node node;
    node.displayName = textMember(object, "displayName");
    node.name = textMember(object, "name");
    node.host = textMember(object, "host");
    node.port = portMember(object, "port", 22);
    node.username = textMember(object, "username", QStringLiteral("root"));
    node.privateKey = textMember(object, "privateKey");
    node.hostFingerprint = textMember(object, "hostFingerprint");

    const QJsonObject agent = object.value(QLatin1String("agentApi")).toObject();
    node.agentApi.scheme = textMember(agent, "scheme", QStringLiteral("http"));
    node.agentApi.host = textMember(agent, "host");
    node.agentApi.port = portMember(agent, "port", 39271);
    node.agentApi.token = textMember(agent, "token");
    return node;
}

QJsonObject nodeToJson(const Node& node) {
    QJsonObject agent;
    agent.insert(QStringLiteral("scheme"), node.agentApi.scheme);
    agent.insert(QStringLiteral("host"), node.agentApi.host);
    agent.insert(QStringLiteral("port"), node.agentApi.port);
    agent.insert(QStringLiteral("token"), node.agentApi.token);

    QJsonObject object;
    object.insert(QStringLiteral("displayName"), node.displayName);
    object.insert(QStringLiteral("name"), node.name);
    object.insert(QStringLiteral("host"), node.host);
    object.insert(QStringLiteral("port"), node.port);
    object.insert(QStringLiteral("username"), node.username);
    object.insert(QStringLiteral("privateKey"), node.privateKey);
    object.insert(QStringLiteral("hostFingerprint"), node.hostFingerprint);
    object.insert(QStringLiteral("agentApi"), agent);
    return object;
}

std::optional<Node> parseImportCode(const QString& text) {
    const QString prefix = QLatin1String(kImportCodePrefix);
    const int at = text.indexOf(prefix);
    if (at < 0)
        return std::nullopt;
    const QByteArray data = text.mid(at + prefix.size()).trimmed().toLatin1();
    // Characters outside the alphabet are skipped, so trailing junk decodes into bytes that spoil
    // the JSON rather than being silently ignored.
    const QByteArray json = QByteArray::fromBase64(data, QByteArray::Base64UrlEncoding);
    const Node node = parseNode(QJsonDocument::fromJson(json).object());
    if (node.host.isEmpty() || node.privateKey.isEmpty())
        return std::nullopt;
    return node;
}

QString nodeLabel(const Node& node) {
    return node.displayName.isEmpty() ? node.name : node.displayName;
}
