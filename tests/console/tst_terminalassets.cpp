#include "console/OutputRing.h"
#include "console/SshLaunch.h"
#include "console/TerminalAccess.h"
#include "console/TerminalAssetServer.h"

#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

// The terminal's asset server over real sockets, and the rules that decide who reaches the shell.
class TerminalAssetsTest : public QObject {
    Q_OBJECT

    QTemporaryDir base_;
    QString root_;
    TerminalAssetServer* server_ = nullptr;

    // Sends raw bytes as one request and reads until the server closes the connection. The server runs
    // on this thread, so the wait spins the event loop.
    QByteArray fetch(const QByteArray& request) {
        QTcpSocket socket;
        QByteArray answer;
        connect(&socket, &QTcpSocket::connected, &socket, [&] { socket.write(request); });
        connect(&socket, &QTcpSocket::readyRead, &socket, [&] { answer += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, server_->serverPort());
        if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5000))
            return "still connected";
        return answer + socket.readAll();
    }

private Q_SLOTS:
    void initTestCase() {
        // base/assets holds the page; its sibling base/assets-x and base itself hold what must never leak.
        const QString base = base_.path();
        QVERIFY(QDir(base).mkpath("assets/sub") && QDir(base).mkpath("assets-x"));
        writeFile(base + "/assets/terminal.html", "<html>page</html>");
        writeFile(base + "/assets/xterm.js", "js");
        writeFile(base + "/assets/sub/Theme.CSS", "css");
        writeFile(base + "/assets/blob.bin", "bin");
        writeFile(base + "/assets-x/secret.txt", "OUTSIDE sibling");
        writeFile(base + "/outside.txt", "OUTSIDE parent");
        QVERIFY(QFile::link(base + "/outside.txt", base + "/assets/link.txt"));
        QVERIFY(QFile::link(base + "/assets-x", base + "/assets/sibling"));
        root_ = QDir(base + "/assets").canonicalPath();
        server_ = new TerminalAssetServer(root_, this);
        QVERIFY(server_->listenOnLoopback());
    }

    // Status line and content type by request; every answer carries the same fixed headers.
    void answers_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("body");
        const QByteArray html = "200 OK\r\nContent-Type: text/html; charset=utf-8";
        const QByteArray plain = "\r\nContent-Type: text/plain";
        QTest::newRow("root is the page")
            << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n") << html << QByteArray("<html>page</html>");
        QTest::newRow("query is cut")
            << QByteArray("GET /xterm.js?v=1 HTTP/1.1\r\n\r\n")
            << QByteArray("200 OK\r\nContent-Type: application/javascript; charset=utf-8")
            << QByteArray("js");
        QTest::newRow("type ignores case")
            << QByteArray("GET /sub/Theme.CSS HTTP/1.1\r\n\r\n")
            << QByteArray("200 OK\r\nContent-Type: text/css; charset=utf-8") << QByteArray("css");
        QTest::newRow("other type") << QByteArray("GET /blob.bin HTTP/1.1\r\n\r\n")
                                    << QByteArray("200 OK\r\nContent-Type: application/octet-stream")
                                    << QByteArray("bin");
        QTest::newRow("post") << QByteArray("POST /terminal.html HTTP/1.1\r\n\r\n") << "405 Error" + plain
                              << QByteArray("Method Not Allowed");
        QTest::newRow("lower-case get") << QByteArray("get / HTTP/1.1\r\n\r\n") << "405 Error" + plain
                                        << QByteArray("Method Not Allowed");
        QTest::newRow("dot-dot") << QByteArray("GET /../outside.txt HTTP/1.1\r\n\r\n")
                                 << "403 Forbidden" + plain << QByteArray("Forbidden");
        QTest::newRow("missing") << QByteArray("GET /nope.js HTTP/1.1\r\n\r\n") << "404 Not Found" + plain
                                 << QByteArray("Not Found");
        QTest::newRow("directory") << QByteArray("GET /sub HTTP/1.1\r\n\r\n") << "404 Not Found" + plain
                                   << QByteArray("Not Found");
    }
    void answers() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, body);
        QCOMPARE(fetch(request), "HTTP/1.1 " + head +
                                     "\r\nContent-Length: " + QByteArray::number(body.size()) +
                                     "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + body);
    }

    void nothingOutsideTheRoot_data() {
        QTest::addColumn<QByteArray>("target");
        for (const char* target :
             {"/../outside.txt", "/%2e%2e/outside.txt", "/%2E%2E%2Foutside.txt", "/..%2foutside.txt",
              "/..%5coutside.txt", "/..\\outside.txt", "//..//outside.txt", "/./../outside.txt",
              "/sub/../../outside.txt", "/../assets-x/secret.txt", "/%2e%2e/assets-x/secret.txt", "/link.txt",
              "/sibling/secret.txt", "/sub/%2e%2e/sibling/secret.txt", "/..", "/%2e%2e"})
            QTest::newRow(target) << QByteArray(target);
        QTest::newRow("absolute") << (QDir(base_.path()).canonicalPath() + "/outside.txt").toUtf8();
        QTest::newRow("absolute doubled")
            << ("/" + QDir(base_.path()).canonicalPath() + "/outside.txt").toUtf8();
    }
    void nothingOutsideTheRoot() {
        QFETCH(QByteArray, target);
        const QByteArray answer = fetch("GET " + target + " HTTP/1.1\r\n\r\n");
        QVERIFY2(answer.startsWith("HTTP/1.1 403 ") || answer.startsWith("HTTP/1.1 404 "),
                 answer.constData());
        QVERIFY(!answer.contains("OUTSIDE"));
    }

    // Only the pane's own page gets the shell: exactly the secret and exactly the asset server's origin.
    void bridgeAdmission_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<bool>("admitted");
        const QString own = console::assetOrigin(4711);
        QTest::newRow("own page") << "secret=S3cr3t-_x" << own << true;
        QTest::newRow("prefix of secret") << "secret=S3cr3t" << own << false;
        QTest::newRow("secret plus more") << "secret=S3cr3t-_xy" << own << false;
        QTest::newRow("other local port") << "secret=S3cr3t-_x" << console::assetOrigin(4712) << false;
    }
    void bridgeAdmission() {
        QFETCH(QString, query);
        QFETCH(QString, origin);
        QFETCH(bool, admitted);
        const QUrl url("ws://127.0.0.1:9/?" + query);
        QCOMPARE(console::mayBridge(url, origin, "S3cr3t-_x", console::assetOrigin(4711)), admitted);
    }

    // Host or user that ssh would read as an option never reach its command line.
    void sshDestination_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("usable");
        QTest::newRow("plain") << "10.0.0.5"
                               << "root" << true;
        QTest::newRow("option as host") << "-oProxyCommand=sh"
                                        << "root" << false;
        QTest::newRow("option as user") << "10.0.0.5"
                                        << "-oProxyCommand=sh" << false;
        QTest::newRow("user with at") << "10.0.0.5"
                                      << "a@b" << false;
    }
    void sshDestination() {
        QFETCH(QString, host);
        QFETCH(QString, user);
        QFETCH(bool, usable);
        QCOMPARE(console::isUsableDestination(Node{.host = host, .username = user}), usable);
    }

    void earlyOutputKeepsTheNewest() {
        console::OutputRing ring(8);
        ring.append("abc");
        ring.append("defgh");
        QCOMPARE(ring.size(), 8);
        ring.append("XY");
        QCOMPARE(ring.take(), QByteArray("cdefghXY"));
        QVERIFY(ring.isEmpty());
        ring.append("0123456789");
        QCOMPARE(ring.take(), QByteArray("23456789"));
    }
};

ONDIVO_TEST_MAIN_CORE(TerminalAssetsTest)
#include "tst_terminalassets.moc"
