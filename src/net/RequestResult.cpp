#include "net/RequestResult.h"

#include "net/RequestLayer.h"

namespace net {

namespace {

bool answered(int status) {
    return status >= 200 && status <= 299;
}

} // namespace

bool RequestResult::failed() const {
    return !answered(status) || reply.contains(QLatin1String("error"));
}

bool RequestResult::failedUnlessRecord(QLatin1String recordKey) const {
    return !answered(status) || (!replyErrorText(reply).isEmpty() && !reply.contains(recordKey));
}

QString RequestResult::text() const {
    return describeFailure(reply, status);
}

RequestResult agentCall(const Node& node, const QString& method, const QString& path,
                        const QJsonObject& body) {
    RequestResult result;
    result.reply = agentRequest(node, method, path, body, &result.status);
    return result;
}

RequestResult agentCallLong(const Node& node, const QString& method, const QString& path,
                            const QJsonObject& body) {
    RequestResult result;
    result.reply = agentRequestLong(node, method, path, body, &result.status);
    return result;
}

} // namespace net
