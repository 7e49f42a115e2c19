// Stands in for the client in the key-lifetime tests: the client's signal handling and a window that owns
// a terminal session, nothing else. Arguments: ssh program, port, pinned host fingerprint, key file.
#include "client/EndOnSignals.h"
#include "console/SshLaunch.h"
#include "console/TerminalBridge.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    client::endOnTerminationSignals();
    const QStringList arguments = QApplication::arguments();
    console::testing::setSshProgram(arguments.value(1));
    Node node;
    node.name = QStringLiteral("child");
    node.host = QStringLiteral("127.0.0.1");
    node.port = arguments.value(2).toInt();
    node.username = QStringLiteral("root");
    node.hostFingerprint = arguments.value(3);
    QFile key(arguments.value(4));
    node.privateKey = key.open(QIODevice::ReadOnly) ? QString::fromUtf8(key.readAll()) : QString();

    auto* window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* bridge = new TerminalBridge(node, window);
    if (!bridge->listen())
        return 2;
    bridge->startSsh();
    window->show();
    const int code = QApplication::exec();
    client::deleteClosedWindows();
    return code;
}
