#include "PrivateSshd.h"

#include "app/DataPaths.h"
#include "console/NodeWindow.h"
#include "console/TerminalBridge.h"
#include "console/TerminalPane.h"
#include "ui/Dialogs.h"

#include "TestMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTabWidget>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// Runs a script in the page and waits for its result.
QVariant evaluate(QWebEngineView* view, const QString& script) {
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 5000))
        return QVariant();
    return result;
}

// Everything xterm.js holds in its buffer, one line per row.
QString terminalText(QWebEngineView* view) {
    return evaluate(view,
                    QStringLiteral(
                        "(function(){ if (!window.term) return ''; var b = term.buffer.active, out = [];"
                        " for (var i = 0; i < b.length; ++i) { var l = b.getLine(i); if (l) "
                        "out.push(l.translateToString(true)); }"
                        " return out.join('\\n'); })()"))
        .toString();
}

// Types into xterm.js as the user would, until the output shows (early input may precede the shell).
bool typeUntil(QWebEngineView* view, const QString& command, const QString& output) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        evaluate(view, QStringLiteral("term.input(%1, true)").arg(QStringLiteral("'") + command + "\\r'"));
        if (QTest::qWaitFor([&] { return terminalText(view).contains(output); }, 2500))
            return true;
    }
    return false;
}

} // namespace

// The Node window's terminal end to end: Qt WebEngine offscreen, the terminal page with xterm.js from the
// asset server, the bridge and ssh into a private sshd.
class TerminalEndToEndTest : public QObject {
    Q_OBJECT

    PrivateSshd sshd_;

private Q_SLOTS:
    void initTestCase() {
        const QString whyNot = sshd_.start();
        if (!whyNot.isEmpty())
            QSKIP(qPrintable(whyNot));
        // The program directory (build/tests) has no assets: the pane must find them under the working
        // directory, as in a developer run.
        QVERIFY(QFile::exists(QStringLiteral(ONDIVO_BIN_DIR "/assets/xterm.js")));
        QVERIFY(QDir::setCurrent(QStringLiteral(ONDIVO_BIN_DIR)));
        ui::testing::setScripted(true);
    }

    void typedCommandsRunAndClosingEndsTheSession() {
        Node node;
        node.name = QStringLiteral("e2e/node");
        node.host = QStringLiteral("127.0.0.1");
        node.port = sshd_.port;
        node.username = PrivateSshd::currentUser();
        node.privateKey = sshd_.clientKey;
        node.hostFingerprint = sshd_.hostFingerprint;

        QPointer<NodeWindow> window = new NodeWindow(node);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        window->tabs()->setCurrentIndex(1);
        TerminalPane* pane = window->terminal();
        QVERIFY(pane);
        window->tabs()->setCurrentIndex(0);
        window->tabs()->setCurrentIndex(1);
        QCOMPARE(window->terminal(), pane); // one terminal per window
        QVERIFY2(ui::testing::shown().isEmpty(), qPrintable(ui::testing::shown().value(0).text));
        QWebEngineView* view = pane->webView();
        QVERIFY(view);
        QVERIFY(QTest::qWaitFor([&] { return pane->bridge()->currentSocket(); }, 20000));
        QFile log(app::logFilePath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray logged = log.readAll();
        QVERIFY(logged.contains("terminal: navigate http://127.0.0.1:") && logged.contains("&secret=***"));
        QVERIFY(!logged.contains(pane->bridge()->secret()));

        QVERIFY2(typeUntil(view, QStringLiteral("echo ondivo-$((6*7))"), QStringLiteral("ondivo-42")),
                 qPrintable(terminalText(view)));
        QVERIFY(typeUntil(view, QStringLiteral("echo 你好-$((1+1))"), QStringLiteral("你好-2")));

        // A resize notice, whatever follows its prefix, never reaches the shell.
        evaluate(view,
                 QStringLiteral(
                     "window.ondivoSocket.send('{\"type\":\"resize\",\"cols\":90}; echo leak-$((3+4))\\r')"));
        QVERIFY(typeUntil(view, QStringLiteral("echo after-$((2+2))"), QStringLiteral("after-4")));
        QVERIFY(!terminalText(view).contains(QStringLiteral("leak-7")));

        const qint64 sshPid = pane->bridge()->sshProcess()->processId();
        const QString keyFile = pane->bridge()->keyFilePath();
        QVERIFY(sshPid > 0);
        // Logged in: ssh holds the key, the disk no longer does.
        QVERIFY(keyFile.endsWith(QStringLiteral("/e2e_node.key")) && !QFile::exists(keyFile));
        window->close();
        QTRY_VERIFY(!window);
        QVERIFY(!QFile::exists(keyFile));
        QVERIFY(!QFile::exists(QStringLiteral("/proc/%1").arg(sshPid)));
    }
};

ONDIVO_TEST_MAIN_GUI(TerminalEndToEndTest)
#include "tst_terminal_e2e.moc"
