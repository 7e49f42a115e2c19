#include "PrivateSshd.h"

#include "console/SshLaunch.h"
#include "console/TerminalAccess.h"
#include "console/TerminalBridge.h"

#include "TestMain.h"

#include <QFile>
#include <QWebSocket>

namespace {

const QString kPageOrigin = console::assetOrigin(4711);

// A page of the test's own: connects with a query and an origin, sends `first` once open, collects
// what the bridge sends.
struct TestPage {
    QWebSocket socket;
    QByteArray received;
    bool closed = false;

    TestPage(const TerminalBridge& bridge, const QString& query, const QString& origin,
             const QString& first = {})
        : socket(origin) {
        QObject::connect(&socket, &QWebSocket::binaryMessageReceived, &socket,
                         [this](const QByteArray& bytes) { received += bytes; });
        QObject::connect(&socket, &QWebSocket::disconnected, &socket, [this] { closed = true; });
        QObject::connect(&socket, &QWebSocket::connected, &socket, [this, first] {
            for (const QString& message : first.split('|', Qt::SkipEmptyParts))
                socket.sendTextMessage(message);
        });
        const QString secret = QString::fromLatin1(bridge.secret());
        socket.open(QUrl(
            QString("ws://127.0.0.1:%1/%2").arg(bridge.port()).arg(QString(query).replace("%S", secret))));
    }
    bool waitFor(const QByteArray& text, int ms = 15000) {
        return QTest::qWaitFor([&] { return received.contains(text); }, ms);
    }
    // Input sent before the remote shell is up may be dropped: type again until the output shows.
    bool typeUntil(const QString& command, const QByteArray& output) {
        for (int attempt = 0; attempt < 8; ++attempt) {
            socket.sendTextMessage(command);
            if (waitFor(output, 2000))
                return true;
        }
        return false;
    }
};

} // namespace

// The bridge between the terminal page and ssh: who gets in, what passes, and host-key pinning against
// a real sshd.
class TerminalBridgeTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    PrivateSshd sshd_;
    QString sshdMissing_;

    Node loopbackNode() const {
        Node node;
        node.name = "test:node";
        node.host = "127.0.0.1";
        node.port = sshd_.port;
        node.username = PrivateSshd::currentUser();
        node.privateKey = sshd_.clientKey;
        return node;
    }

private Q_SLOTS:
    void initTestCase() { sshdMissing_ = sshd_.start(); }
    void cleanup() { console::testing::setSshProgram(QString()); }

    // A stand-in ssh that greets, then echoes its input. A refused connection must neither get the
    // greeting kept for the page, nor reach ssh's input, nor end ssh.
    void refusedConnectionsLeaveTheSessionAlone_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("origin");
        QTest::newRow("no secret") << QString() << kPageOrigin;
        QTest::newRow("wrong secret") << "?secret=guess" << kPageOrigin;
        QTest::newRow("foreign origin") << "?secret=%S"
                                        << "http://evil.example";
        QTest::newRow("no origin") << "?secret=%S" << QString();
    }
    void refusedConnectionsLeaveTheSessionAlone() {
        QFETCH(QString, query);
        QFETCH(QString, origin);
        QFile script(dir_.path() + "/fake-ssh");
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf 'BANNER\\n'\nexec cat\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        console::testing::setSshProgram(script.fileName());

        TerminalBridge bridge(loopbackNode());
        bridge.setPageOrigin(kPageOrigin);
        QVERIFY(bridge.listen());
        bridge.startSsh();
        QVERIFY(bridge.sshProcess());
        QTest::qWait(200); // the greeting comes while no page is there

        TestPage intruder(bridge, query, origin, "INTRUDER\n");
        QVERIFY(QTest::qWaitFor([&] { return intruder.closed; }, 5000));
        QVERIFY(intruder.received.isEmpty() && !bridge.currentSocket());
        QCOMPARE(bridge.sshProcess()->state(), QProcess::Running);

        TestPage page(bridge, "?secret=%S", kPageOrigin, "{\"type\":\"resize\",\"cols\":80}RESIZE\n|typed\n");
        QVERIFY(page.waitFor("typed"));
        QVERIFY(page.received.startsWith("BANNER") && !page.received.contains("INTRUDER") &&
                !page.received.contains("RESIZE"));

        // A second page replaces the first, and the session goes on for it.
        TestPage reloaded(bridge, "?secret=%S", kPageOrigin, "again\n");
        QVERIFY(reloaded.waitFor("again"));
        QCOMPARE(bridge.sshProcess()->state(), QProcess::Running);
    }

    void pinnedHostKey_data() {
        QTest::addColumn<QString>("pin"); // %F stands for the server's real fingerprint
        QTest::addColumn<bool>("connects");
        QTest::newRow("matching pin") << "%F" << true;
        QTest::newRow("matching pin without prefix, padded") << "%F=" << true;
        QTest::newRow("other key pinned") << "SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA" << false;
        QTest::newRow("nothing pinned") << QString() << true;
    }
    void pinnedHostKey() {
        QFETCH(QString, pin);
        QFETCH(bool, connects);
        if (!sshdMissing_.isEmpty())
            QSKIP(qPrintable(sshdMissing_));
        Node node = loopbackNode();
        node.hostFingerprint = QString(pin)
                                   .replace("%F=", sshd_.hostFingerprint.mid(7) + "=")
                                   .replace("%F", sshd_.hostFingerprint);

        TerminalBridge bridge(node);
        bridge.setPageOrigin(kPageOrigin);
        QVERIFY(bridge.listen());
        bridge.startSsh();
        TestPage page(bridge, "?secret=%S", kPageOrigin);
        if (!connects) {
            QVERIFY(page.waitFor(QStringLiteral("主机密钥不匹配").toUtf8()));
            QVERIFY(page.received.contains(sshd_.hostFingerprint.toUtf8())); // what the server offered
            QVERIFY(!bridge.sshProcess());
            return;
        }
        QVERIFY2(page.typeUntil("echo pinned-$((2+3))\r", "pinned-5"), page.received.constData());
        QCOMPARE(QFile::exists(bridge.knownHostsPath()), !pin.isEmpty());
    }
};

ONDIVO_TEST_MAIN_CORE(TerminalBridgeTest)
#include "tst_terminalbridge.moc"
