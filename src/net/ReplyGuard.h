#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>

class QNetworkReply;
class QNetworkRequest;

namespace net {

// Makes the access manager ask before following a redirect (guardReply answers); without it the
// network stack follows redirects on its own and carries the Authorization header and the request
// body to wherever the server points.
void requireRedirectApproval(QNetworkRequest& request);

// Watches a reply. Sent with requireRedirectApproval, a redirect is followed only to the same origin
// (scheme, host and port) and only for GET and HEAD; any other redirect, and a body that announces or
// reaches more than maxBytes, aborts the reply. The reason is then given by guardFailure (and by
// networkErrorText).
void guardReply(QNetworkReply* reply, qint64 maxBytes);

// Why guardReply ended the reply; empty when it did not.
QString guardFailure(const QNetworkReply* reply);

bool isSameOrigin(const QUrl& a, const QUrl& b);

// "服务器重定向到其他地址: " + the target.
QString redirectRefusedText(const QUrl& target);
// "回复超过 N MiB 上限，已中止" (KiB below one MiB).
QString replyTooLargeText(qint64 maxBytes);

} // namespace net
