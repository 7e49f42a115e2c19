#include "SimHttp.h"
#include "Simulator.h"
#include "TestMain.h"

#include "crypto/NodeEnvelope.h"
#include "model/SignInState.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QTemporaryFile>

// The Cloud side of the simulator over real sockets: accounts, the sealed node list and its in-use
// refusal, release manifests with ranged package downloads, and every fault mode.
class TestSimulator : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::Simulator> s;
    QString cloud;

    QByteArray tokenFor(const QString& user, const QString& password) {
        s->addAccount(user, password);
        return s->login(user, password).toUtf8();
    }

private Q_SLOTS:
    void init() {
        s = std::make_unique<sim::Simulator>();
        QVERIFY(s->start());
        cloud = s->cloudUrl();
    }
    void cleanup() { s.reset(); }

    void registerAndLogin_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("hasToken");
        QTest::newRow("login ok") << "/api/auth/login"
                                  << "alice"
                                  << "pw-alice" << 200 << true;
        QTest::newRow("login wrong password") << "/api/auth/login"
                                              << "alice"
                                              << "nope" << 401 << false;
        QTest::newRow("login unknown account") << "/api/auth/login"
                                               << "bob"
                                               << "pw" << 401 << false;
        QTest::newRow("register new") << "/api/auth/register"
                                      << "carol"
                                      << "pw-carol" << 200 << true;
        QTest::newRow("register existing") << "/api/auth/register"
                                           << "alice"
                                           << "x" << 409 << false;
        QTest::newRow("register empty password") << "/api/auth/register"
                                                 << "dave"
                                                 << "" << 400 << false;
    }
    void registerAndLogin() {
        QFETCH(QString, path);
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(int, status);
        QFETCH(bool, hasToken);
        s->addAccount(QStringLiteral("alice"), QStringLiteral("pw-alice"));
        const SimReply reply = simCall(
            "POST", cloud + path, {},
            jsonBody({{QStringLiteral("username"), username}, {QStringLiteral("password"), password}}));
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.json().contains(QStringLiteral("token")), hasToken);
        if (!hasToken)
            QVERIFY(!reply.json().value(QStringLiteral("error")).toString().isEmpty());
        if (hasToken) // the issued token opens the protected routes
            QCOMPARE(simCall("GET", cloud + "/api/cloud/nodes",
                             reply.json().value(QStringLiteral("token")).toString().toUtf8())
                         .status,
                     200);
    }

    void protectedRoutesNeedToken_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::newRow("list") << QByteArray("GET") << "/api/cloud/nodes";
        QTest::newRow("add") << QByteArray("POST") << "/api/cloud/nodes";
        QTest::newRow("delete") << QByteArray("DELETE") << "/api/cloud/nodes/x";
        QTest::newRow("profiles") << QByteArray("GET") << "/api/browser/profiles";
    }
    void protectedRoutesNeedToken() {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QCOMPARE(simCall(method, cloud + path).status, 401);
        QCOMPARE(simCall(method, cloud + path, "forged-token").status, 401);
    }

    void nodeListKeepsBlobsOpaquePerAccount() {
        const QByteArray alice = tokenFor(QStringLiteral("alice"), QStringLiteral("a"));
        const QByteArray bob = tokenFor(QStringLiteral("bob"), QStringLiteral("b"));
        QCOMPARE(simCall("POST", cloud + "/api/cloud/nodes", alice,
                         jsonBody({{QStringLiteral("displayName"), QStringLiteral("香港 1")},
                                   {QStringLiteral("encryptedBlob"), QStringLiteral("{\"opaque\":1}")}}))
                     .status,
                 201);
        QCOMPARE(simCall("POST", cloud + "/api/cloud/nodes", alice,
                         jsonBody({{QStringLiteral("displayName"), QStringLiteral("x")}}))
                     .status,
                 400);
        const QJsonArray nodes =
            simCall("GET", cloud + "/api/cloud/nodes", alice).json().value(QStringLiteral("nodes")).toArray();
        QCOMPARE(nodes.size(), 1);
        QCOMPARE(nodes[0].toObject().value(QStringLiteral("encryptedBlob")).toString(),
                 QStringLiteral("{\"opaque\":1}"));
        QCOMPARE(nodes[0].toObject().value(QStringLiteral("displayName")).toString(),
                 QStringLiteral("香港 1"));
        QVERIFY(simCall("GET", cloud + "/api/cloud/nodes", bob)
                    .json()
                    .value(QStringLiteral("nodes"))
                    .toArray()
                    .isEmpty());
        const QString id = nodes[0].toObject().value(QStringLiteral("id")).toString();
        QCOMPARE(simCall("DELETE", cloud + "/api/cloud/nodes/" + id, bob).status, 404);
        QCOMPARE(simCall("DELETE", cloud + "/api/cloud/nodes/" + id, alice).status, 200);
        QVERIFY(s->cloudNodes(QStringLiteral("alice")).isEmpty());
    }

    void addNodeSealsWithTheAccountAndRestoresSignIn() {
        signInState() = {QStringLiteral("client-user"), QStringLiteral("client-pw"),
                         QStringLiteral("client-token")};
        const sim::AgentInfo agent = s->startAgent();
        Node node = sim::Simulator::agentNode(agent, QStringLiteral("srv-1"));
        s->addNode(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("东京"), node,
                   agent.name);
        QCOMPARE(signInState().username, QStringLiteral("client-user"));
        QCOMPARE(signInState().password, QStringLiteral("client-pw"));
        QCOMPARE(signInState().token, QStringLiteral("client-token"));

        const QString blob = s->cloudNodes(QStringLiteral("alice"))[0]
                                 .toObject()
                                 .value(QStringLiteral("encryptedBlob"))
                                 .toString();
        crypto::clearKeyCache();
        QVERIFY(!crypto::openNode(blob)); // another account's key cannot open it
        signInState() = {QStringLiteral("alice"), QStringLiteral("secret"), QString()};
        const auto opened = crypto::openNode(blob);
        QVERIFY(opened);
        QCOMPARE(opened->displayName, QStringLiteral("东京"));
        QCOMPARE(opened->agentApi.port, agent.port);
        QCOMPARE(opened->agentApi.token, agent.token);
        const auto imported = parseImportCode(sim::Simulator::importCodeFor(node));
        QVERIFY(imported);
        QCOMPARE(imported->agentApi, node.agentApi);
    }

    void deleteRefusedWhileRoomsBoundThenForced() {
        const sim::AgentInfo agent = s->startAgent();
        const QString id = s->addNode(QStringLiteral("alice"), QStringLiteral("a"), QStringLiteral("n1"),
                                      sim::Simulator::agentNode(agent, QStringLiteral("n1")), agent.name);
        const QByteArray token = s->login(QStringLiteral("alice"), QStringLiteral("a")).toUtf8();
        s->addVideo(agent.name, QStringLiteral("a.mp4"), 1000);
        const QString streaming =
            s->addLiveRoom(agent.name, {{QStringLiteral("name"), QStringLiteral("直播一")},
                                        {QStringLiteral("videoPath"), QStringLiteral("a.mp4")},
                                        {QStringLiteral("pushUrl"), QStringLiteral("rtmp://x/live/k")},
                                        {QStringLiteral("status"), QStringLiteral("streaming")}})
                .value(QStringLiteral("id"))
                .toString();
        s->addLiveRoom(agent.name, {{QStringLiteral("name"), QStringLiteral("直播二")}});
        s->addLiveRoom(agent.name, {{QStringLiteral("name"), QStringLiteral("别的节点")},
                                    {QStringLiteral("cloudNodeId"), QStringLiteral("other")}});

        SimReply reply = simCall("DELETE", cloud + "/api/cloud/nodes/" + id, token);
        QCOMPARE(reply.status, 409);
        QJsonObject body = reply.json();
        QCOMPARE(body.value(QStringLiteral("code")).toString(), QStringLiteral("NODE_IN_USE"));
        QCOMPARE(body.value(QStringLiteral("roomCount")).toInt(), 2);
        QCOMPARE(body.value(QStringLiteral("rooms"))
                     .toArray()[0]
                     .toObject()
                     .value(QStringLiteral("name"))
                     .toString(),
                 QStringLiteral("直播一"));
        QVERIFY(!body.value(QStringLiteral("error")).toString().isEmpty());
        QCOMPARE(s->cloudNodes(QStringLiteral("alice")).size(), 1);
        s->setInUseRoomNameLimit(1); // fewer names than rooms, the count stays complete
        body = simCall("DELETE", cloud + "/api/cloud/nodes/" + id, token).json();
        QCOMPARE(body.value(QStringLiteral("rooms")).toArray().size(), 1);
        QCOMPARE(body.value(QStringLiteral("roomCount")).toInt(), 2);

        reply = simCall("DELETE", cloud + "/api/cloud/nodes/" + id + "?force=1", token);
        QCOMPARE(reply.status, 200);
        QVERIFY(s->cloudNodes(QStringLiteral("alice")).isEmpty());
        const QJsonArray rooms = s->snapshot(agent.name).value(QStringLiteral("liveRooms")).toArray();
        QStringList unbound;
        for (const auto& v : rooms) {
            const QJsonObject room = v.toObject();
            if (room.value(QStringLiteral("cloudNodeId")).toString().isEmpty())
                unbound << room.value(QStringLiteral("name")).toString();
            if (room.value(QStringLiteral("id")).toString() == streaming)
                QCOMPARE(room.value(QStringLiteral("status")).toString(), QStringLiteral("error"));
            if (room.value(QStringLiteral("name")).toString() == QStringLiteral("直播二"))
                QCOMPARE(room.value(QStringLiteral("status")).toString(), QStringLiteral("draft"));
        }
        QCOMPARE(unbound, (QStringList{QStringLiteral("直播一"), QStringLiteral("直播二")}));
        const SimReply status =
            simCall("GET", agent.url + "/live/status?roomId=" + streaming, agent.token.toUtf8());
        QCOMPARE(status.json().value(QStringLiteral("running")).toBool(), false);
    }

    void releasesAndRangedPackage_data() {
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("length");
        QTest::newRow("first segment")
            << QByteArray("bytes=0-4194303") << 206 << qint64(0) << qint64(4194304);
        QTest::newRow("middle") << QByteArray("bytes=100-199") << 206 << qint64(100) << qint64(100);
        QTest::newRow("end past the size is clipped")
            << QByteArray("bytes=4194304-8388607") << 206 << qint64(4194304) << qint64(5000000 - 4194304);
        QTest::newRow("no range") << QByteArray() << 200 << qint64(0) << qint64(5000000);
        QTest::newRow("start past the end")
            << QByteArray("bytes=6000000-6000010") << 416 << qint64(0) << qint64(0);
    }
    void releasesAndRangedPackage() {
        QFETCH(QByteArray, range);
        QFETCH(int, status);
        QFETCH(qint64, from);
        QFETCH(qint64, length);
        QTemporaryFile package;
        QVERIFY(package.open());
        QByteArray bytes(5000000, Qt::Uninitialized);
        for (auto& b : bytes)
            b = char(QRandomGenerator::global()->bounded(256));
        package.write(bytes);
        package.flush();
        QVERIFY(s->setClientPackageFile(package.fileName(), QStringLiteral("9.9.9")));
        const QJsonObject manifest = simCall("GET", cloud + "/api/releases/client/manifest").json();
        QCOMPARE(manifest.value(QStringLiteral("version")).toString(), QStringLiteral("9.9.9"));
        QCOMPARE(manifest.value(QStringLiteral("size")).toDouble(), 5000000.0);
        QCOMPARE(manifest.value(QStringLiteral("sha256")).toString(),
                 QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        QCOMPARE(manifest.value(QStringLiteral("url")).toString(), s->packageUrl());

        QList<QPair<QByteArray, QByteArray>> headers{{"Accept-Encoding", "identity"}};
        if (!range.isEmpty())
            headers.append({"Range", range});
        const SimReply reply = simCall("GET", s->packageUrl(), {}, {}, headers);
        QCOMPARE(reply.status, status);
        if (status == 416) {
            QCOMPARE(reply.headers.value("content-range"), QByteArray("bytes */5000000"));
            return;
        }
        QCOMPARE(reply.body, bytes.mid(from, length));
        if (status == 206)
            QCOMPARE(reply.headers.value("content-range"),
                     QStringLiteral("bytes %1-%2/5000000").arg(from).arg(from + length - 1).toLatin1());
    }

    void packageVariants_data() {
        QTest::addColumn<int>("variant");
        QTest::newRow("ignore range") << 0;
        QTest::newRow("omit size") << 1;
        QTest::newRow("upper-case sha256") << 2;
        QTest::newRow("wrong sha256") << 3;
    }
    void packageVariants() {
        QFETCH(int, variant);
        QTemporaryFile package;
        QVERIFY(package.open());
        const QByteArray bytes = QByteArray("PK-simulated-package-").repeated(1000);
        package.write(bytes);
        package.flush();
        QVERIFY(s->setClientPackageFile(package.fileName(), QStringLiteral("1.0.0")));
        sim::PackageOptions options;
        options.ignoreRange = variant == 0;
        options.omitSize = variant == 1;
        options.upperCaseSha256 = variant == 2;
        options.wrongSha256 = variant == 3;
        s->setPackageOptions(options);
        const QString digest =
            QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        const QJsonObject manifest = simCall("GET", cloud + "/api/releases/client/manifest").json();
        const SimReply ranged = simCall("GET", s->packageUrl(), {}, {}, {{"Range", "bytes=0-9"}});
        switch (variant) {
        case 0:
            QCOMPARE(ranged.status, 200);
            QCOMPARE(ranged.body, bytes);
            break;
        case 1:
            QVERIFY(!manifest.contains(QStringLiteral("size")));
            QCOMPARE(ranged.status, 206);
            break;
        case 2:
            QCOMPARE(manifest.value(QStringLiteral("sha256")).toString(), digest.toUpper());
            break;
        case 3:
            QVERIFY(
                manifest.value(QStringLiteral("sha256")).toString().compare(digest, Qt::CaseInsensitive) !=
                0);
            QCOMPARE(manifest.value(QStringLiteral("sha256")).toString().size(), 64);
            break;
        }
    }

    void faults_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("fixed status") << 0;
        QTest::newRow("delay") << 1;
        QTest::newRow("hang") << 2;
        QTest::newRow("drop mid reply") << 3;
        QTest::newRow("malformed json") << 4;
        QTest::newRow("fail first two calls") << 5;
    }
    void faults() {
        QFETCH(int, kind);
        const QByteArray token = tokenFor(QStringLiteral("alice"), QStringLiteral("a"));
        const QString url = cloud + "/api/cloud/nodes";
        sim::Fault fault;
        switch (kind) {
        case 0:
            fault.status = 503;
            fault.errorText = QStringLiteral("维护中");
            break;
        case 1:
            fault.delayMs = 300;
            break;
        case 2:
            fault.hang = true;
            break;
        case 3:
            fault.dropMidReply = true;
            break;
        case 4:
            fault.malformedJson = true;
            break;
        case 5:
            fault.status = 500;
            fault.times = 2;
            break;
        }
        s->setFault(QString::fromLatin1(sim::kCloud), QStringLiteral("GET"),
                    QStringLiteral("/api/cloud/nodes"), fault);
        // Another route and another method stay untouched.
        QCOMPARE(simCall("GET", cloud + "/api/releases/agent/manifest").status, 200);
        QCOMPARE(
            simCall("POST", url, token, jsonBody({{QStringLiteral("encryptedBlob"), QStringLiteral("b")}}))
                .status,
            201);

        const SimReply reply = simCall("GET", url, token, {}, {}, kind == 2 ? 700 : 0);
        switch (kind) {
        case 0:
            QCOMPARE(reply.status, 503);
            QCOMPARE(reply.json().value(QStringLiteral("error")).toString(), QStringLiteral("维护中"));
            break;
        case 1:
            QCOMPARE(reply.status, 200);
            QCOMPARE(reply.json().value(QStringLiteral("nodes")).toArray().size(), 1);
            break;
        case 2:
            QCOMPARE(reply.status, 0);
            QVERIFY(reply.error != QNetworkReply::NoError);
            break;
        case 3:
            QVERIFY(reply.error != QNetworkReply::NoError);
            QVERIFY(reply.json().isEmpty());
            break;
        case 4:
            QCOMPARE(reply.status, 200);
            QVERIFY(QJsonDocument::fromJson(reply.body).isNull());
            QVERIFY(!reply.body.isEmpty());
            break;
        case 5:
            QCOMPARE(reply.status, 500);
            QCOMPARE(simCall("GET", url, token).status, 500);
            QCOMPARE(simCall("GET", url, token).status, 200);
            QCOMPARE(simCall("GET", url, token).status, 200);
            QCOMPARE(s->callCount(QString::fromLatin1(sim::kCloud), QStringLiteral("GET"),
                                  QStringLiteral("/api/cloud/nodes")),
                     4);
            break;
        }
        s->clearFaults();
        QCOMPARE(simCall("GET", url, token).status, 200);
    }

    void dropMidSegmentOfPackage() {
        QTemporaryFile package;
        QVERIFY(package.open());
        package.write(QByteArray(2 * 1024 * 1024, 'z'));
        package.flush();
        QVERIFY(s->setClientPackageFile(package.fileName(), QStringLiteral("1.0.0")));
        sim::Fault drop;
        drop.dropMidReply = true;
        drop.times = 1;
        s->setFault(QString::fromLatin1(sim::kCloud), QString(), s->packagePath(), drop);
        const SimReply broken = simCall("GET", s->packageUrl(), {}, {}, {{"Range", "bytes=0-1048575"}});
        QVERIFY(broken.error != QNetworkReply::NoError);
        QVERIFY(broken.body.size() < 1048576);
        const SimReply whole = simCall("GET", s->packageUrl(), {}, {}, {{"Range", "bytes=0-1048575"}});
        QCOMPARE(whole.status, 206);
        QCOMPARE(whole.body.size(), 1048576);
    }

    void stopReturnsWhileRequestsHang() {
        sim::Fault hang;
        hang.hang = true;
        s->setFault(QString::fromLatin1(sim::kCloud), QString(), QStringLiteral("/api/releases/*"), hang);
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(cloud + "/api/releases/client/manifest")));
        QTRY_COMPARE(
            s->callCount(QString::fromLatin1(sim::kCloud), QString(), QStringLiteral("/api/releases/*")), 1);
        s->stop(); // must come back although the handler still waits
        QTRY_VERIFY(reply->isFinished());
        QVERIFY(reply->error() != QNetworkReply::NoError);
        delete reply;
    }

    void ipGeolocationAnswersWithThePeer() {
        const SimReply reply =
            simCall("GET", cloud + "/json/?fields=status,message,query,country,countryCode,timezone");
        QCOMPARE(reply.status, 200);
        const QJsonObject body = reply.json();
        QCOMPARE(body.value(QStringLiteral("status")).toString(), QStringLiteral("success"));
        QCOMPARE(body.value(QStringLiteral("query")).toString(), QStringLiteral("127.0.0.1"));
        for (const char* key : {"country", "countryCode", "timezone"})
            QVERIFY(!body.value(QLatin1String(key)).toString().isEmpty());
        s->setIpGeoReply({{QStringLiteral("status"), QStringLiteral("fail")},
                          {QStringLiteral("message"), QStringLiteral("reserved range")}});
        QCOMPARE(simCall("GET", cloud + "/json/").json().value(QStringLiteral("message")).toString(),
                 QStringLiteral("reserved range"));
    }

    void twoHundredAgentsAnswerTogether() {
        QList<sim::AgentInfo> agents;
        for (int i = 0; i < 200; ++i)
            agents.append(s->startAgent());
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        int ok = 0;
        int pending = 0;
        for (const sim::AgentInfo& agent : agents) {
            QVERIFY(agent.port > 0);
            QNetworkRequest request(QUrl(agent.url + "/status"));
            request.setRawHeader("Authorization", "Bearer " + agent.token.toUtf8());
            QNetworkReply* reply = manager.get(request);
            ++pending;
            connect(reply, &QNetworkReply::finished, this, [reply, &ok, &pending] {
                ok += reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
                --pending;
                reply->deleteLater();
            });
        }
        QTRY_COMPARE_WITH_TIMEOUT(pending, 0, 30000);
        QCOMPARE(ok, 200);
        s->stop(); // every Agent's server ends
    }

    void controlRouteSetsFaults() {
        QCOMPARE(simCall("POST", cloud + "/__sim/faults", {},
                         jsonBody({{QStringLiteral("path"), QStringLiteral("/api/releases/agent/manifest")},
                                   {QStringLiteral("status"), 502},
                                   {QStringLiteral("times"), 1}}))
                     .status,
                 200);
        QCOMPARE(simCall("GET", cloud + "/api/releases/agent/manifest").status, 502);
        QCOMPARE(simCall("GET", cloud + "/api/releases/agent/manifest").status, 200);
    }
};

ONDIVO_TEST_MAIN_CORE(TestSimulator)
#include "tst_simulator.moc"
