#include "RecordingServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace testsupport {
namespace {

bool parseRequest(const QByteArray& buffer, RecordingServer::Request& out) {
    const int headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    RecordingServer::Request request;
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
    }
    const int length = request.headers.value("content-length", "0").toInt();
    if (buffer.size() < headerEnd + 4 + length)
        return false;
    request.body = buffer.mid(headerEnd + 4, length);
    out = request;
    return true;
}

const char* reasonFor(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 409:
        return "Conflict";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    default:
        return "Status";
    }
}

} // namespace

RecordingServer::RecordingServer() : server_(std::make_unique<QTcpServer>()) {
    server_->listen(QHostAddress::LocalHost, 0);
    QObject::connect(server_.get(), &QTcpServer::newConnection, server_.get(), [this] { onConnection(); });
}

RecordingServer::~RecordingServer() {
    for (auto it = buffers_.begin(); it != buffers_.end(); ++it)
        it.key()->abort();
}

quint16 RecordingServer::port() const {
    return server_->serverPort();
}

QString RecordingServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

// Writes the filler in blocks as the socket drains, so an endless body costs the server no memory.
static void streamFiller(QTcpSocket* socket, qint64 remaining) {
    static constexpr qint64 kBlock = 256 * 1024;
    static const QByteArray block(kBlock, ' ');
    auto left = std::make_shared<qint64>(remaining);
    auto pump = [socket, left] {
        while (*left > 0 && socket->bytesToWrite() < 4 * kBlock &&
               socket->state() == QAbstractSocket::ConnectedState) {
            const qint64 n = qMin(*left, kBlock);
            socket->write(block.constData(), n);
            *left -= n;
        }
        if (*left <= 0)
            socket->disconnectFromHost();
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, pump);
    pump();
}

RecordingServer::Reply RecordingServer::redirect(int status, const QString& location) {
    Reply reply{status, QByteArray()};
    reply.extraHeaders.append({"Location", location.toUtf8()});
    return reply;
}

void RecordingServer::setDefaultReply(const Reply& reply) {
    defaultReply_ = reply;
}

void RecordingServer::queueReply(const Reply& reply) {
    queued_.push_back(reply);
}

void RecordingServer::onConnection() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        socket->setParent(server_.get());
        buffers_.insert(socket, QByteArray());
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { onReadable(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
            buffers_.remove(socket);
            socket->deleteLater();
        });
    }
}

void RecordingServer::onReadable(QTcpSocket* socket) {
    QByteArray& buffer = buffers_[socket];
    buffer += socket->readAll();
    Request request;
    if (!parseRequest(buffer, request))
        return;
    buffer.clear();
    requests_.append(request);
    respond(socket);
}

void RecordingServer::respond(QTcpSocket* socket) {
    Reply reply = defaultReply_;
    if (!queued_.empty()) {
        reply = queued_.front();
        queued_.pop_front();
    }
    if (reply.hang)
        return;
    auto send = [socket, reply] {
        QByteArray head =
            "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonFor(reply.status) + "\r\n";
        head += "Content-Type: " + reply.contentType + "\r\n";
        const qsizetype length = reply.announcedLength >= 0 ? reply.announcedLength : reply.body.size();
        if (!reply.noContentLength)
            head += "Content-Length: " + QByteArray::number(length) + "\r\n";
        for (const auto& header : reply.extraHeaders)
            head += header.first + ": " + header.second + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head + reply.body);
        if (reply.streamBytes > 0)
            streamFiller(socket, reply.streamBytes);
        else
            socket->disconnectFromHost();
    };
    if (reply.delayMs > 0)
        QTimer::singleShot(reply.delayMs, socket, send);
    else
        send();
}

} // namespace testsupport
