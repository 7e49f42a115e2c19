#include "net/ReplyGuard.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

namespace net {
namespace {

constexpr char kFailureProperty[] = "ondivoGuardFailure";

void failReply(QNetworkReply* reply, const QString& reason) {
    if (!guardFailure(reply).isEmpty())
        return;
    reply->setProperty(kFailureProperty, reason);
    reply->abort();
}

// Only a request that can be repeated without effect may be sent again to the redirect's target.
bool isIdempotent(const QNetworkReply* reply) {
    return reply->operation() == QNetworkAccessManager::GetOperation ||
           reply->operation() == QNetworkAccessManager::HeadOperation;
}

} // namespace

void requireRedirectApproval(QNetworkRequest& request) {
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
}

bool isSameOrigin(const QUrl& a, const QUrl& b) {
    const QString scheme = a.scheme().toLower();
    const int defaultPort = scheme == QLatin1String("https") ? 443 : 80;
    return scheme == b.scheme().toLower() && a.host().toLower() == b.host().toLower() &&
           a.port(defaultPort) == b.port(defaultPort);
}

QString redirectRefusedText(const QUrl& target) {
    return QStringLiteral("服务器重定向到其他地址: ") + target.toDisplayString();
}

QString replyTooLargeText(qint64 maxBytes) {
    const QString size = maxBytes >= 1024 * 1024 ? QStringLiteral("%1 MiB").arg(maxBytes / (1024 * 1024))
                                                 : QStringLiteral("%1 KiB").arg(maxBytes / 1024);
    return QStringLiteral("回复超过 %1 上限，已中止").arg(size);
}

QString guardFailure(const QNetworkReply* reply) {
    return reply ? reply->property(kFailureProperty).toString() : QString();
}

void guardReply(QNetworkReply* reply, qint64 maxBytes) {
    QPointer<QNetworkReply> guarded(reply);
    QObject::connect(reply, &QNetworkReply::redirected, reply, [guarded](const QUrl& target) {
        // Under any other policy the network stack has decided already; approving again would send twice.
        if (!guarded || guarded->request().attribute(QNetworkRequest::RedirectPolicyAttribute).toInt() !=
                            QNetworkRequest::UserVerifiedRedirectPolicy)
            return;
        // The reply's own url() may already name the target here; the request keeps the origin asked for.
        const QUrl origin = guarded->request().url();
        const QUrl resolved = origin.resolved(target);
        if (isIdempotent(guarded) && isSameOrigin(origin, resolved))
            Q_EMIT guarded->redirectAllowed();
        else
            failReply(guarded, redirectRefusedText(resolved));
    });
    // Refused as soon as the headers announce too much, before any of the body is taken in.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [guarded, maxBytes] {
        if (guarded && guarded->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maxBytes)
            failReply(guarded, replyTooLargeText(maxBytes));
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [guarded, maxBytes](qint64 received, qint64 announced) {
                         if (guarded && (received > maxBytes || announced > maxBytes))
                             failReply(guarded, replyTooLargeText(maxBytes));
                     });
}

} // namespace net
