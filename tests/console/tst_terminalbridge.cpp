#include "PrivateSshd.h"

#include "console/ConsoleTiming.h"
#include "console/HostKeyTrust.h"
#include "console/SshLaunch.h"
#include "console/TerminalAccess.h"
#include "console/TerminalBridge.h"
#include "ui/Dialogs.h"

#include "TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QWebSocket>

#include <pwd.h>
#include <unistd.h>

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
        for (int attempt = 0; attempt < 8 && !ended(); ++attempt) {
            socket.sendTextMessage(command);
            if (waitFor(output, 2000))
                return true;
        }
        return received.contains(output);
    }
    bool ended() const {
        return received.contains("[ssh exited") || received.contains(QStringLiteral("连接。").toUtf8()) ||
               received.contains(QStringLiteral("未建立").toUtf8());
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

    // Connects a page to a fresh bridge for the Node; true when the shell runs `command` (an echo of `out`).
    bool logsIn(const Node& node, QByteArray* received = nullptr, const QString& command = "in-$((2+3))",
                const QByteArray& out = "in-5") {
        TerminalBridge bridge(node);
        bridge.setPageOrigin(kPageOrigin);
        bridge.setTrustChangedKey([](const QString& question) { return ui::question(nullptr, question); });
        if (!bridge.listen())
            return false;
        bridge.startSsh();
        TestPage page(bridge, "?secret=%S", kPageOrigin);
        const bool shell = page.typeUntil("echo " + command + "\r", out);
        if (received)
            *received = page.received;
        return shell;
    }

    // ssh as the user's own set-up would shape it: `home` stands in for the user's home directory
    // (ssh reads ~/.ssh/config from the account's home, not from $HOME) in a private mount namespace.
    QString sshWithHome(const QString& home) {
        const QString wrapper = dir_.path() + "/ssh-with-home";
        QFile script(wrapper);
        script.open(QIODevice::WriteOnly);
        script.write(QString("#!/bin/sh\nexec unshare --mount --propagation private sh -c "
                             "'mount --bind \"$0\" %1 && exec ssh \"$@\"' %2 \"$@\"\n")
                         .arg(QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_dir), home)
                         .toUtf8());
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return wrapper;
    }

private Q_SLOTS:
    void initTestCase() { sshdMissing_ = sshd_.start(); }
    void init() {
        ui::testing::setScripted(true);
        ui::testing::reset();
    }
    void cleanup() {
        console::testing::setSshProgram(QString());
        qunsetenv("SSH_AUTH_SOCK");
    }

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
        if (!sshdMissing_.isEmpty())
            QSKIP(qPrintable(sshdMissing_)); // the host key is checked before ssh starts
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
        QVERIFY(QTest::qWaitFor([&] { return bridge.sshProcess(); }, 15000));
        QTest::qWait(200); // the greeting comes while no page is there

        TestPage intruder(bridge, query, origin, "INTRUDER\n");
        QVERIFY(QTest::qWaitFor([&] { return intruder.closed; }, 5000));
        QVERIFY(intruder.received.isEmpty() && !bridge.currentSocket());
        QCOMPARE(bridge.sshProcess()->state(), QProcess::Running);

        TestPage page(bridge, "?secret=%S", kPageOrigin, "{\"type\":\"resize\",\"cols\":80}RESIZE\n|typed\n");
        QVERIFY(page.waitFor("typed"));
        QVERIFY(page.received.indexOf("BANNER") >= 0 &&
                page.received.indexOf("BANNER") < page.received.indexOf("typed") &&
                !page.received.contains("INTRUDER") && !page.received.contains("RESIZE"));

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
        QCOMPARE(bridge.knownHostsPath() == console::trustedHostsPath(), pin.isEmpty());
        // Logged in: the key is no longer on disk, and ssh's own report of it is not shown.
        QVERIFY(!QFile::exists(bridge.keyFilePath()) && !page.received.contains("Authenticated to"));
    }

    // The user's agent holds a key the server accepts, and the user's ssh configuration forwards the
    // agent and runs a local command: the terminal still logs in with the Node's key only.
    void onlyTheNodesKey_data() {
        QTest::addColumn<bool>("nodeKeyAuthorised");
        QTest::newRow("Node key refused, agent key accepted") << false;
        QTest::newRow("Node key accepted") << true;
    }
    void onlyTheNodesKey() {
        QFETCH(bool, nodeKeyAuthorised);
        if (!sshdMissing_.isEmpty())
            QSKIP(qPrintable(sshdMissing_));
        const QString agentKey = sshd_.dir.path() + "/agent", socket = dir_.path() + "/agent.sock";
        QVERIFY(QFile::exists(agentKey) || !sshd_.newClientKey("agent", true).isEmpty());
        QProcess agent;
        QFile::remove(socket);
        agent.start("ssh-agent", {"-D", "-a", socket});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(socket); }, 5000));
        qputenv("SSH_AUTH_SOCK", socket.toLocal8Bit());
        QCOMPARE(QProcess::execute("ssh-add", {"-q", agentKey}), 0);
        const QString home = dir_.path() + "/home", marker = dir_.path() + "/local-command-ran";
        QDir().mkpath(home + "/.ssh");
        QFile config(home + "/.ssh/config");
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QString("Host *\n ForwardAgent yes\n IdentityFile %1\n PermitLocalCommand yes\n"
                             " LocalCommand touch %2\n")
                         .arg(agentKey, marker)
                         .toUtf8());
        config.close();
        console::testing::setSshProgram(sshWithHome(home));

        Node node = loopbackNode();
        if (!nodeKeyAuthorised)
            node.privateKey = sshd_.newClientKey("unauthorised", false);
        QByteArray received; // the shell sees no agent either
        QCOMPARE(logsIn(node, &received, "agent=[$SSH_AUTH_SOCK]", "agent=[]"), nodeKeyAuthorised);
        agent.kill();
        agent.waitForFinished();
        QVERIFY(!QFile::exists(marker) && !received.contains("agent=[/"));
        QVERIFY2(nodeKeyAuthorised || received.contains("Permission denied"),
                 received.constData()); // ssh's words
    }

    // Trust on first use: the first key is remembered, a changed one is refused unless the user trusts
    // it, and a pinned fingerprint wins over what was remembered.
    void changedHostKey_data() {
        QTest::addColumn<QString>("answer"); // to the changed-key question: "" none (cancel), "yes"
        QTest::addColumn<bool>("pinNewKey");
        QTest::addColumn<bool>("connects");
        QTest::newRow("cancelled by default") << "" << false << false;
        QTest::newRow("new key trusted") << "yes" << false << true;
        QTest::newRow("pinned new key wins") << "" << true << true;
    }
    void changedHostKey() {
        QFETCH(QString, answer);
        QFETCH(bool, pinNewKey);
        QFETCH(bool, connects);
        if (!sshdMissing_.isEmpty())
            QSKIP(qPrintable(sshdMissing_));
        Node node = loopbackNode();
        node.id = QTest::currentDataTag();
        QVERIFY(logsIn(node));
        QVERIFY(logsIn(node)); // the remembered key, no question
        QVERIFY(ui::testing::shown().isEmpty());
        QCOMPARE(QFile(console::trustedHostsPath()).permissions(),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser);

        const QString oldKey = sshd_.hostFingerprint;
        QVERIFY(sshd_.replaceHostKey());
        if (pinNewKey)
            node.hostFingerprint = sshd_.hostFingerprint;
        if (!answer.isEmpty())
            ui::testing::queueAnswer(true);
        QByteArray received;
        QCOMPARE(logsIn(node, &received), connects);
        const QList<ui::testing::Shown> shown = ui::testing::takeShown();
        QCOMPARE(shown.size(), pinNewKey ? 0 : 1);
        // The question, and the refusal, name the remembered and the offered key.
        const QString told = shown.value(0).text + (connects ? "" : QString::fromUtf8(received));
        QVERIFY2(pinNewKey || (told.count(oldKey) == (connects ? 1 : 2) &&
                               told.count(sshd_.hostFingerprint) == (connects ? 1 : 2)),
                 qPrintable(told));
        node.hostFingerprint.clear();
        QCOMPARE(logsIn(node), connects && !pinNewKey); // trusted keys are remembered, pinned ones not
    }

    // A host that accepts the connection but never speaks SSH: the terminal says where it connects at
    // once, gives up after the connect limit with nothing left running, and can connect again.
    void silentHostTimesOut() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        connect(&silent, &QTcpServer::newConnection, &silent, [&] { silent.nextPendingConnection(); });
        console::timing.sshConnectLimitMs = 1500;
        Node node = loopbackNode();
        node.port = silent.serverPort();
        TerminalBridge bridge(node);
        bridge.setPageOrigin(kPageOrigin);
        QVERIFY(bridge.listen());
        int ended = 0;
        bridge.setOnSessionEnded([&] { ++ended; });
        TestPage page(bridge, "?secret=%S", kPageOrigin);
        QVERIFY(QTest::qWaitFor([&] { return bridge.currentSocket(); }, 5000));
        const QByteArray connecting =
            QString("正在连接 %1@127.0.0.1:%2").arg(node.username).arg(node.port).toUtf8();
        for (int attempt = 1; attempt <= 2; ++attempt) { // the second one is "重新连接"
            QElapsedTimer clock;
            clock.start();
            bridge.startSsh();
            QVERIFY(page.waitFor(connecting, 1000));
            QVERIFY(QTest::qWaitFor([&] { return ended == attempt; }, 6000));
            QVERIFY(clock.elapsed() >= 1400);
            QVERIFY(QTest::qWaitFor([&] { return page.received.count("连接超时") == attempt; }, 2000));
            QVERIFY(!bridge.sshProcess());
        }
    }
};

ONDIVO_TEST_MAIN_CORE(TerminalBridgeTest)
#include "tst_terminalbridge.moc"
