#pragma once

#include "model/Node.h"

#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QString>

namespace net {

// Blocking call to the Cloud API (base URL + path), waiting in a nested event loop. The reply body is
// returned as a JSON object (empty when it is not one); outStatus receives the HTTP status or 0.
// A redirect to another origin or a body over its cap gives {"error": <reason>} with status 0.
QJsonObject cloudRequest(const QString& method, const QString& path, const QJsonObject& body, bool withToken,
                         int* outStatus = nullptr);

// Blocking call to a Node's Agent. A network failure with an empty body yields {"error": <reason>}.
QJsonObject agentRequest(const Node& node, const QString& method, const QString& path,
                         const QJsonObject& body, int* outStatus = nullptr);

// The same for Agent operations that answer only when they are done (engine install, update and
// removal, the Agent's own update): they may stay silent far longer than a short call.
QJsonObject agentRequestLong(const Node& node, const QString& method, const QString& path,
                             const QJsonObject& body, int* outStatus = nullptr);

// URL and headers of an Agent request, for the asynchronous pollers and the upload engine. Redirects
// are followed within the same origin only; pair the reply with net::guardReply for a size cap.
QNetworkRequest agentNetworkRequest(const Node& node, const QString& path);
QString agentUrl(const Node& node, const QString& path);

// The reply's "error" member, trimmed; empty when absent or not text.
QString replyErrorText(const QJsonObject& reply);

// Text shown for a refused request: busy rooms first, then "error", then "请求失败" / "HTTP n".
QString describeFailure(const QJsonObject& reply, int status);

// The network stack's error text of a failed reply; a reply ended by its transfer (idle) timeout says
// so instead of the stack's generic "Operation canceled".
QString networkErrorText(QNetworkReply* reply);

// A transport error in the client's language (the common ones), with the toolkit's text after it.
QString transportErrorText(QNetworkReply::NetworkError error, const QString& toolkitText);

// Status attribute of a finished reply, 0 when none arrived.
int replyStatus(QNetworkReply* reply);

// A body that is not a JSON object gives an empty object.
QJsonObject parseJsonObject(const QByteArray& body);

// What a success reply says when its body cannot be read.
inline constexpr char kMalformedReplyText[] = "回复格式错误";

// The body as a JSON object, where a success status (200..299) with a body that is not blank and not a
// JSON object (not JSON at all, or nested deeper than the parser takes) gives {"error": "回复格式错误"}:
// such an answer is a failure, never an empty list. Other statuses parse as parseJsonObject does.
// malformed (optional) tells which case it was.
QJsonObject parseReplyObject(int status, const QByteArray& body, bool* malformed = nullptr);

// A blocking GET of an Agent list ("/files/videos" and the like) whose reply may hold no more than a list
// page shows (net::limits::kListReplyMaxBytes); a longer one fails like a transport error.
QJsonObject agentListRequest(const Node& node, const QString& path, int* outStatus = nullptr);

} // namespace net
