#include "PrivateSshd.h"

#include "console/ConsoleTiming.h"
#include "console/SshLaunch.h"
#include "console/TerminalAccess.h"
#include "console/TerminalBridge.h"

#include "TestMain.h"

#include <QFile>
#include <QProcess>
#include <QWebSocket>

namespace {

const QString kPageOrigin = console::assetOrigin(4711);

// A page of the test's own: collects what the bridge sends and whether it was let in.
struct TestPage {
    QWebSocket socket;
    QByteArray received;
    bool closed = false;

    explicit TestPage(const QString& origin) : socket(origin) {
        QObject::connect(&socket, &QWebSocket::binaryMessageReceived, &socket,
                         [this](const QByteArray& bytes) { received += bytes; });
        QObject::connect(&socket, &QWebSocket::disconnected, &socket, [this] { closed = true; });
    }
    void open(quint16 port, const QString& query) {
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/%2").arg(port).arg(query)));
    }
    bool waitFor(const QByteArray& text, int ms = 15000) {
        return QTest::qWaitFor([&] { return received.contains(text); }, ms);
    }
    // Types a command until its output shows: input sent before the remote shell is up may be dropped.
    bool typeUntil(const QString& command, const QByteArray& output) {
        for (int attempt = 0; attempt < 8; ++attempt) {
            socket.sendTextMessage(command);
            if (waitFor(output, 2000))
                return true;
        }
        return false;
    }
};

Node loopbackNode() {
    Node node;
    node.name = QStringLiteral("test:node");
    node.host = QStringLiteral("127.0.0.1");
    node.username = PrivateSshd::currentUser();
    return node;
}

} // namespace

// The bridge between the terminal page and ssh: who gets in, what passes, and host-key pinning against
// a real sshd.
class TerminalBridgeTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    void cleanup() {
        console::testing::setSshProgram(QString());
        console::timing::reset();
    }

    // A stand-in ssh that greets, then echoes its input: a refused connection must neither see the
    // greeting kept for the page, nor reach its input, nor end it.
    void refusedConnectionsLeaveTheSessionAlone_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("origin");
        QTest::newRow("no secret") << QString() << kPageOrigin;
        QTest::newRow("wrong secret") << "?secret=guess" << kPageOrigin;
        QTest::newRow("foreign origin") << "?secret=%1" << "http://evil.example";
        QTest::newRow("no origin") << "?secret=%1" << QString();
    }
    void refusedConnectionsLeaveTheSessionAlone() {
        QFETCH(QString, query);
        QFETCH(QString, origin);
        const QString fakeSsh = dir_.path() + "/fake-ssh";
        QFile script(fakeSsh);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf 'BANNER\\n'\nexec cat\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        console::testing::setSshProgram(fakeSsh);

        TerminalBridge bridge(loopbackNode());
        bridge.setPageOrigin(kPageOrigin);
        QVERIFY(bridge.listen());
        bridge.startSsh();
        QVERIFY(bridge.sshProcess() && bridge.sshProcess()->waitForStarted());
        QTest::qWait(200); // the greeting is written while no page is there

        TestPage intruder(origin);
        connect(&intruder.socket, &QWebSocket::connected, &intruder.socket,
                [&] { intruder.socket.sendTextMessage("INTRUDER\n"); });
        intruder.open(bridge.port(), QString(query).replace("%1", QString::fromLatin1(bridge.secret())));
        QVERIFY(QTest::qWaitFor([&] { return intruder.closed; }, 5000));
        QVERIFY(intruder.received.isEmpty());
        QVERIFY(!bridge.currentSocket());
        QCOMPARE(bridge.sshProcess()->state(), QProcess::Running);

        TestPage page(kPageOrigin);
        connect(&page.socket, &QWebSocket::connected, &page.socket, [&] {
            page.socket.sendTextMessage("{\"type\":\"resize\",\"cols\":80}RESIZE\n");
            page.socket.sendTextMessage("typed\n");
        });
        page.open(bridge.port(), "?secret=" + QString::fromLatin1(bridge.secret()));
        QVERIFY(page.waitFor("typed"));
        QVERIFY(page.received.startsWith("BANNER"));
        QVERIFY(!page.received.contains("INTRUDER"));
        QVERIFY(!page.received.contains("RESIZE"));

        // A second page replaces the first, and the session goes on for it.
        TestPage reloaded(kPageOrigin);
        connect(&reloaded.socket, &QWebSocket::connected, &reloaded.socket,
                [&] { reloaded.socket.sendBinaryMessage("again\n"); });
        reloaded.open(bridge.port(), "?secret=" + QString::fromLatin1(bridge.secret()));
        QVERIFY(reloaded.waitFor("again"));
        QCOMPARE(bridge.sshProcess()->state(), QProcess::Running);
    }

    void pinnedHostKey_data() {
        QTest::addColumn<QString>("pin"); // "real", "real-bare", "other" or empty
        QTest::addColumn<bool>("connects");
        QTest::newRow("matching pin") << "real" << true;
        QTest::newRow("matching pin without prefix") << "real-bare" << true;
        QTest::newRow("other key pinned") << "other" << false;
        QTest::newRow("nothing pinned") << QString() << true;
    }
    void pinnedHostKey() {
        QFETCH(QString, pin);
        QFETCH(bool, connects);
        static PrivateSshd sshd;
        static const QString whyNot = sshd.start();
        if (!whyNot.isEmpty())
            QSKIP(qPrintable(whyNot));

        Node node = loopbackNode();
        node.port = sshd.port();
        node.privateKey = sshd.clientPrivateKey();
        const QString real = sshd.hostFingerprint();
        if (pin == "real")
            node.hostFingerprint = real;
        else if (pin == "real-bare")
            node.hostFingerprint = real.mid(7);
        else if (pin == "other")
            node.hostFingerprint = "SHA256:" + QString(real.size() - 7, QLatin1Char('A'));

        TerminalBridge bridge(node);
        bridge.setPageOrigin(kPageOrigin);
        QVERIFY(bridge.listen());
        bridge.startSsh();
        TestPage page(kPageOrigin);
        page.open(bridge.port(), "?secret=" + QString::fromLatin1(bridge.secret()));
        QVERIFY(QTest::qWaitFor([&] { return bridge.currentSocket(); }, 5000));
        if (!connects) {
            QVERIFY(page.waitFor(QStringLiteral("主机密钥不匹配").toUtf8()));
            QVERIFY(page.received.contains(real.toUtf8())); // the user sees what the server offered
            QVERIFY(!bridge.sshProcess());
            return;
        }
        QVERIFY(QTest::qWaitFor([&] { return bridge.sshProcess(); }, 15000));
        QVERIFY2(page.typeUntil("echo pinned-$((2+3))\r", "pinned-5"), page.received.constData());
        QCOMPARE(QFile::exists(bridge.knownHostsPath()), !pin.isEmpty());
    }
};

ONDIVO_TEST_MAIN_CORE(TerminalBridgeTest)
#include "tst_terminalbridge.moc"
