// Renders a Node window with a live shell for a visual check: the terminal page in the web engine, a
// private sshd behind it, Chinese output. Run under a display (xvfb-run) with an output directory.
#include "PrivateSshd.h"
#include "ScreensMain.h"

#include "console/NodeWindow.h"
#include "console/TerminalBridge.h"
#include "console/TerminalPane.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

static int drawScreens(const QString& outDir) {
    QDir::setCurrent(QStringLiteral(ONDIVO_BIN_DIR));

    PrivateSshd sshd;
    const QString whyNot = sshd.start();
    if (!whyNot.isEmpty()) {
        qWarning("%s", qPrintable(whyNot));
        return 1;
    }
    Node node;
    node.displayName = QStringLiteral("香港-01");
    node.name = QStringLiteral("hk-01");
    node.host = QStringLiteral("127.0.0.1");
    node.port = sshd.port;
    node.username = PrivateSshd::currentUser();
    node.privateKey = sshd.clientKey;
    node.hostFingerprint = sshd.hostFingerprint;

    auto* window = new NodeWindow(node);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->move(20, 20);
    window->show();
    QTest::qWait(300);
    QApplication::primaryScreen()->grabWindow(0).save(outDir + QStringLiteral("/node-window-overview.png"));

    window->tabs()->setCurrentIndex(1);
    TerminalPane* pane = window->terminal();
    if (!QTest::qWaitFor([&] { return pane->bridge()->currentSocket(); }, 20000))
        return 2;
    QTest::qWait(1500); // the login banner and the prompt
    pane->webView()->page()->runJavaScript(
        QStringLiteral("term.input('echo 你好，世界 && ls -la / | head -5\\r', true)"));
    QTest::qWait(1500);
    QApplication::primaryScreen()->grabWindow(0).save(outDir + QStringLiteral("/node-window-shell.png"));
    window->close();
    QTest::qWait(200);
    return 0;
}

int main(int argc, char** argv) {
    return screens::run(argc, argv, drawScreens);
}
