#include "SimHttp.h"
#include "TestMain.h"

#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

// The standalone program: it prints exactly one ONDIVO_SIM line once listening, and what it names answers.
class TestSimSmoke : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void demoAnnouncesCloudAndAgents() {
        QTemporaryDir dir;
        QProcess process;
        process.start(QStringLiteral(ONDIVO_BIN_DIR "/ondivo-sim"),
                      {QStringLiteral("--demo"), QStringLiteral("--data-dir"), dir.path()});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 30000);
        const QByteArray line = process.readLine().trimmed();
        QVERIFY2(line.startsWith("ONDIVO_SIM {\"cloud\":"), line.constData());
        const QJsonObject info = QJsonDocument::fromJson(line.mid(11)).object();
        const QString cloud = info.value(QStringLiteral("cloud")).toString();
        QVERIFY(cloud.startsWith(QStringLiteral("http://127.0.0.1:")));
        const QJsonArray agents = info.value(QStringLiteral("agents")).toArray();
        QVERIFY(agents.size() >= 5);
        const QJsonObject account = info.value(QStringLiteral("account")).toObject();
        const SimReply login =
            simCall("POST", cloud + "/api/auth/login", {},
                    jsonBody({{QStringLiteral("username"), account.value(QStringLiteral("username"))},
                              {QStringLiteral("password"), account.value(QStringLiteral("password"))}}));
        QCOMPARE(login.status, 200);
        const QByteArray token = login.json().value(QStringLiteral("token")).toString().toUtf8();
        QCOMPARE(simCall("GET", cloud + "/api/cloud/nodes", token)
                     .json()
                     .value(QStringLiteral("nodes"))
                     .toArray()
                     .size(),
                 6);
        const QJsonObject first = agents[0].toObject();
        QCOMPARE(simCall("GET", first.value(QStringLiteral("url")).toString() + "/status",
                         first.value(QStringLiteral("token")).toString().toUtf8())
                     .status,
                 200);
        QVERIFY(!process.canReadLine()); // only one line on stdout
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    }

    void refusesABadPort() {
        QProcess process;
        process.start(QStringLiteral(ONDIVO_BIN_DIR "/ondivo-sim"),
                      {QStringLiteral("--port"), QStringLiteral("70000")});
        QVERIFY(process.waitForFinished(10000));
        QVERIFY(process.exitCode() != 0);
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }
};

ONDIVO_TEST_MAIN_CORE(TestSimSmoke)
#include "tst_simsmoke.moc"
