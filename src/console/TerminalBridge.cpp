#include "console/TerminalBridge.h"

#include "console/SshSession.h"
#include "console/TerminalAccess.h"

#include <QWebSocket>
#include <QWebSocketServer>

namespace {

// The page announces its size with text messages that start like this; ssh must never see them.
constexpr char kResizePrefix[] = "{\"type\":\"resize\"";

} // namespace

TerminalBridge::TerminalBridge(const Node& node, QObject* parent)
    : QObject(parent), node_(node), secret_(console::newTerminalSecret()) {
    server_ = new QWebSocketServer(QStringLiteral("OndivoTerminal"), QWebSocketServer::NonSecureMode, this);
    connect(server_, &QWebSocketServer::newConnection, this, [this] { acceptPending(); });
}

TerminalBridge::~TerminalBridge() {
    // ssh first (it is terminated and waited for), then the key's folder, then the sockets.
    delete session_;
    session_ = nullptr;
    if (currentSocket_) {
        currentSocket_->disconnect(this);
        currentSocket_->close();
    }
    server_->close();
}

bool TerminalBridge::listen() {
    return server_->listen(QHostAddress::LocalHost, 0);
}

quint16 TerminalBridge::port() const {
    return server_->serverPort();
}

QWebSocket* TerminalBridge::currentSocket() const {
    return currentSocket_;
}

void TerminalBridge::acceptPending() {
    while (server_->hasPendingConnections()) {
        QWebSocket* socket = server_->nextPendingConnection();
        if (!socket)
            return;
        if (!console::mayBridge(socket->requestUrl(), socket->origin(), secret_, pageOrigin_)) {
            // Refused before anything is connected to it: neither the page in use nor ssh notices.
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("forbidden"));
            socket->deleteLater();
            continue;
        }
        bridge(socket);
    }
}

void TerminalBridge::bridge(QWebSocket* socket) {
    if (currentSocket_) {
        // The page it served is gone or reloaded; its close must not end the session of the new one.
        currentSocket_->disconnect(this);
        currentSocket_->deleteLater();
    }
    currentSocket_ = socket;
    connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString& text) {
        if (socket == currentSocket_ && !text.startsWith(QLatin1String(kResizePrefix)))
            fromPage(text.toUtf8());
    });
    connect(socket, &QWebSocket::binaryMessageReceived, this, [this, socket](const QByteArray& bytes) {
        if (socket == currentSocket_)
            fromPage(bytes);
    });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        if (socket != currentSocket_)
            return;
        currentSocket_ = nullptr;
        socket->deleteLater();
        if (session_)
            session_->terminate();
    });
    if (!pending_.isEmpty())
        socket->sendBinaryMessage(pending_.take());
}

void TerminalBridge::fromPage(const QByteArray& bytes) {
    if (session_)
        session_->write(bytes);
}

void TerminalBridge::toPage(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    if (currentSocket_ && currentSocket_->isValid())
        currentSocket_->sendBinaryMessage(bytes);
    else
        pending_.append(bytes);
}

void TerminalBridge::startSsh() {
    if (session_ && !session_->hasEnded())
        return;
    delete session_;
    session_ = nullptr;
    console::SshSession::Hooks hooks;
    hooks.output = [this](const QByteArray& bytes) {
        toPage(bytes);
    };
    hooks.trustChangedKey = [this](const QString& question) {
        return trustChangedKey_ && trustChangedKey_(question);
    };
    hooks.ended = [this] {
        if (sessionEnded_)
            sessionEnded_();
    };
    session_ = new console::SshSession(node_, std::move(hooks), this);
    session_->start();
}

bool TerminalBridge::sessionEnded() const {
    return session_ && session_->hasEnded();
}

QProcess* TerminalBridge::sshProcess() const {
    return session_ ? session_->sshProcess() : nullptr;
}

QString TerminalBridge::keyFilePath() const {
    return session_ ? session_->keyFilePath() : QString();
}

QString TerminalBridge::knownHostsPath() const {
    return session_ ? session_->knownHostsPath() : QString();
}
