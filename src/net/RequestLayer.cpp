#include "net/RequestLayer.h"

#include "app/AppConstants.h"
#include "model/SignInState.h"
#include "net/AgentEndpoint.h"
#include "net/ApplicationProxy.h"
#include "net/ReplyGuard.h"
#include "net/ReplyLimits.h"
#include "net/RequestTiming.h"

#include <QEventLoop>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringList>
#include <memory>

namespace net {
namespace {

const QByteArray kJsonContentType = QByteArrayLiteral("application/json");

// Waits for the reply in a nested event loop; the request's transfer timeout ends a call that
// receives nothing for the idle limit.
void waitForReply(QNetworkReply* reply) {
    if (reply->isFinished())
        return;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

QNetworkReply* sendCloud(QNetworkAccessManager& manager, const QString& method,
                         const QNetworkRequest& request, const QByteArray& body) {
    if (method == QLatin1String("GET"))
        return manager.get(request);
    if (method == QLatin1String("POST"))
        return manager.post(request, body);
    if (method == QLatin1String("PUT"))
        return manager.put(request, body);
    if (method == QLatin1String("DELETE"))
        return manager.deleteResource(request);
    return manager.sendCustomRequest(request, method.toUtf8(), body);
}

QNetworkReply* sendAgent(QNetworkAccessManager& manager, const QString& method,
                         const QNetworkRequest& request, const QByteArray& body) {
    if (method == QLatin1String("GET"))
        return manager.get(request);
    if (method == QLatin1String("POST"))
        return manager.post(request, body);
    // DELETE and PUT go out as custom verbs so they can carry the JSON body.
    return manager.sendCustomRequest(request, method.toUtf8(), body);
}

} // namespace

int replyStatus(QNetworkReply* reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : 0;
}

QString transportErrorText(QNetworkReply::NetworkError error, const QString& toolkitText) {
    // The toolkit's texts are English; the ones a user meets every day read in the client's language,
    // with the toolkit's words after them for a search.
    static const QHash<QNetworkReply::NetworkError, const char*> known{
        {QNetworkReply::ConnectionRefusedError, "连接被拒绝"},
        {QNetworkReply::RemoteHostClosedError, "连接被对方关闭"},
        {QNetworkReply::HostNotFoundError, "找不到主机"},
        {QNetworkReply::TimeoutError, "连接超时"},
        {QNetworkReply::TemporaryNetworkFailureError, "网络暂时不可用"},
        {QNetworkReply::NetworkSessionFailedError, "网络不可用"},
        {QNetworkReply::SslHandshakeFailedError, "SSL 握手失败"},
        {QNetworkReply::ProxyConnectionRefusedError, "代理服务器拒绝连接"},
        {QNetworkReply::ProxyConnectionClosedError, "代理服务器关闭了连接"},
        {QNetworkReply::ProxyNotFoundError, "找不到代理服务器"},
        {QNetworkReply::ProxyTimeoutError, "代理服务器超时"},
        {QNetworkReply::ProxyAuthenticationRequiredError, "代理服务器需要认证"},
    };
    const auto found = known.constFind(error);
    if (found == known.constEnd())
        return toolkitText;
    return QString::fromUtf8(found.value()) + QStringLiteral(" (") + toolkitText + QLatin1Char(')');
}

QString networkErrorText(QNetworkReply* reply) {
    const QString refused = guardFailure(reply);
    if (!refused.isEmpty())
        return refused;
    const int limitMs = reply->request().transferTimeout();
    if (reply->error() == QNetworkReply::OperationCanceledError && limitMs > 0)
        return QStringLiteral("连接超时：%1 秒没有收到任何数据").arg((limitMs + 999) / 1000);
    return transportErrorText(reply->error(), reply->errorString());
}

QJsonObject parseJsonObject(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object();
}

QJsonObject parseReplyObject(int status, const QByteArray& body, bool* malformed) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    const bool unreadable =
        status >= 200 && status < 300 && !document.isObject() && !body.trimmed().isEmpty();
    if (malformed)
        *malformed = unreadable;
    if (unreadable)
        return QJsonObject{{QStringLiteral("error"), QString::fromUtf8(kMalformedReplyText)}};
    return document.object();
}

QJsonObject cloudRequest(const QString& method, const QString& path, const QJsonObject& body, bool withToken,
                         int* outStatus) {
    QNetworkRequest request(QUrl(app::cloudApiBaseUrl() + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, kJsonContentType);
    request.setTransferTimeout(timing.blockingIdleTimeoutMs);
    requireRedirectApproval(request);
    const QString token = signInState().token;
    if (withToken && !token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());

    QNetworkAccessManager manager;
    manager.setProxy(applicationProxy());
    const QByteArray bytes =
        body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
        sendCloud(manager, method, request, bytes), [](QNetworkReply* r) { r->deleteLater(); });
    guardReply(reply.get(), limits::kApiReplyMaxBytes);
    waitForReply(reply.get());
    // A refused redirect or an oversized body is no answer at all: whatever arrived is not the reply.
    const QString refused = guardFailure(reply.get());
    if (outStatus)
        *outStatus = refused.isEmpty() ? replyStatus(reply.get()) : 0;
    if (!refused.isEmpty())
        return QJsonObject{{QStringLiteral("error"), refused}};
    return parseReplyObject(replyStatus(reply.get()), reply->readAll());
}

QString agentUrl(const Node& node, const QString& path) {
    const QString scheme = node.agentApi.scheme.isEmpty() ? QStringLiteral("http") : node.agentApi.scheme;
    return QStringLiteral("%1://%2:%3%4")
        .arg(scheme, node.agentApi.host, QString::number(node.agentApi.port), path);
}

QNetworkRequest agentNetworkRequest(const Node& node, const QString& path) {
    QNetworkRequest request(QUrl(agentUrl(node, path)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, kJsonContentType);
    request.setRawHeader("Authorization", "Bearer " + node.agentApi.token.toUtf8());
    // The token must never follow a redirect to another host; such a reply ends with its 3xx status.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    return request;
}

namespace {

QJsonObject blockingAgentRequest(const Node& node, const QString& method, const QString& path,
                                 const QJsonObject& body, int idleTimeoutMs, int* outStatus,
                                 qint64 maxReplyBytes = limits::kApiReplyMaxBytes) {
    // Nothing to dial: say so as every page does, rather than whatever an empty host makes of it.
    if (!node.hasAgentEndpoint()) {
        if (outStatus)
            *outStatus = 0;
        return {{QStringLiteral("error"), QString::fromUtf8(kNoAgentEndpointText)}};
    }
    QNetworkAccessManager manager;
    manager.setProxy(applicationProxy());
    QNetworkRequest request = agentNetworkRequest(node, path);
    request.setTransferTimeout(idleTimeoutMs);
    requireRedirectApproval(request); // stricter still: a body is never sent again, not even to the same host
    const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
        sendAgent(manager, method, request, bytes), [](QNetworkReply* r) { r->deleteLater(); });
    guardReply(reply.get(), maxReplyBytes);
    waitForReply(reply.get());
    if (outStatus)
        *outStatus = guardFailure(reply.get()).isEmpty() ? replyStatus(reply.get()) : 0;
    QByteArray data = reply->readAll();
    // Errors below the HTTP layer (connection reset, timeout, proxy failure) mean the body may be cut
    // short: a truncated reply must never read as success, even when some of it arrived.
    const QNetworkReply::NetworkError error = reply->error();
    const bool transportFailed =
        error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
    if ((error != QNetworkReply::NoError && data.isEmpty()) || transportFailed) {
        QJsonObject failure;
        failure.insert(QStringLiteral("error"), networkErrorText(reply.get()));
        data = QJsonDocument(failure).toJson(QJsonDocument::Compact);
    }
    return parseReplyObject(replyStatus(reply.get()), data);
}

} // namespace

QJsonObject agentRequest(const Node& node, const QString& method, const QString& path,
                         const QJsonObject& body, int* outStatus) {
    return blockingAgentRequest(node, method, path, body, timing.blockingIdleTimeoutMs, outStatus);
}

QJsonObject agentRequestLong(const Node& node, const QString& method, const QString& path,
                             const QJsonObject& body, int* outStatus) {
    return blockingAgentRequest(node, method, path, body, timing.longOperationIdleTimeoutMs, outStatus);
}

QJsonObject agentListRequest(const Node& node, const QString& path, int* outStatus) {
    return blockingAgentRequest(node, QStringLiteral("GET"), path, {}, timing.blockingIdleTimeoutMs,
                                outStatus, limits::kListReplyMaxBytes);
}

QString replyErrorText(const QJsonObject& reply) {
    const QJsonValue error = reply.value(QLatin1String("error"));
    return error.isString() ? error.toString().trimmed() : QString();
}

QString describeFailure(const QJsonObject& reply, int status) {
    QStringList rooms;
    const QJsonArray array = reply.value(QLatin1String("rooms")).toArray();
    for (const QJsonValue& room : array) {
        // Cloud replies give rooms as objects with a name; Agent replies may give plain names.
        const QString name = (room.isObject() ? room.toObject().value(QLatin1String("name")) : room)
                                 .toVariant()
                                 .toString()
                                 .trimmed();
        if (!name.isEmpty())
            rooms << name;
    }
    if (!rooms.isEmpty())
        return QStringLiteral("资源正在被房间使用：") + rooms.join(QStringLiteral("、"));
    // A blank "error" (bridge records always carry one) gives no reason: the status speaks instead.
    const QString error = replyErrorText(reply);
    if (!error.isEmpty())
        return error;
    return status < 1 ? QStringLiteral("请求失败") : QStringLiteral("HTTP %1").arg(status);
}

} // namespace net
