#include "streaming/AgentReply.h"

#include <QJsonValue>

namespace streaming {

bool isFailedReply(int status, const QJsonObject& reply) {
    return status < 1 || status > 299 || reply.contains(QLatin1String("error"));
}

QString failureText(const QJsonObject& reply, int status) {
    const QJsonValue error = reply.value(QLatin1String("error"));
    return error.isString() ? error.toString() : QStringLiteral("HTTP %1").arg(status);
}

} // namespace streaming
