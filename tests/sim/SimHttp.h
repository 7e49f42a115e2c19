#pragma once

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

// A blocking HTTP call over a real socket, for tests of the simulator itself.
struct SimReply {
    int status = 0;
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QMap<QByteArray, QByteArray> headers;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

inline SimReply simCall(const QByteArray& method, const QString& url, const QByteArray& token = {},
                        const QByteArray& body = {}, const QList<QPair<QByteArray, QByteArray>>& headers = {},
                        int timeoutMs = 0) {
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    if (timeoutMs > 0)
        request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    SimReply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.error = reply->error();
    for (const auto& [name, value] : reply->rawHeaderPairs())
        result.headers.insert(name.toLower(), value);
    reply->deleteLater();
    return result;
}

inline QByteArray jsonBody(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
