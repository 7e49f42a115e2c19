#include "console/TerminalAssetServer.h"

#include "console/ConsoleTiming.h"
#include "console/TerminalHttp.h"

#include <QTcpSocket>
#include <QTimer>

TerminalAssetServer::TerminalAssetServer(const QString& assetRoot, QObject* parent)
    : QTcpServer(parent), assetRoot_(assetRoot) {
}

bool TerminalAssetServer::listenOnLoopback() {
    return listen(QHostAddress::LocalHost, 0);
}

void TerminalAssetServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    // The first read is the request; anything that trickles in later on the same connection is ignored.
    auto answered = std::make_shared<bool>(false);
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket, answered] {
        if (*answered) {
            socket->readAll();
            return;
        }
        *answered = true;
        const QByteArray response = console::answerAssetRequest(socket->readAll(), assetRoot_);
        if (!response.isEmpty())
            socket->write(response);
        socket->disconnectFromHost();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // A peer that connects and never asks holds no socket for long.
    QTimer::singleShot(console::timing.assetIdleMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}
