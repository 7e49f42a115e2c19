// Uploads one video file to ondivo-sim over loopback twice: with the client's chunked upload engine
// (4 chunks in flight, each read from disk as it is sent) and with `curl` posting the whole file in one
// request to the same Agent, in the same run. Prints both throughputs, their ratio and this process's
// peak resident memory.
#include "files/AgentUploadTransport.h"
#include "files/UploadRules.h"
#include "files/VideoUploadScheduler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <limits>

#include "BenchSupport.h"

namespace {

QTextStream out(stdout);

using bench::mibPerSecond;
using bench::peakResidentKiB;

bool writeRandomFile(const QString& path, qint64 bytes) {
    return bench::writeRandomFile(path, bytes, 7);
}

// One upload with the client's engine; the time in ms, or -1 when it did not finish.
qint64 uploadWithEngine(const Node& node, const QString& path, const QString& name) {
    auto scheduler = std::make_shared<files::VideoUploadScheduler>(
        std::make_shared<files::AgentUploadTransport>(node), std::make_shared<files::SystemUploadClock>());
    QElapsedTimer timer;
    timer.start();
    scheduler->start(path, name, true);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!scheduler->busy())
            loop.quit();
    });
    poll.start(5);
    if (scheduler->busy())
        loop.exec();
    return scheduler->status() == QStringLiteral("完成") ? timer.elapsed() : -1;
}

QByteArray curl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("curl"), arguments);
    process.waitForFinished(-1);
    return process.readAllStandardOutput();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 sizeMiB = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const int rounds = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 2;
    const qint64 size = sizeMiB * 1024 * 1024;
    QTemporaryDir dir;
    const QString video = dir.filePath(QStringLiteral("bench.mp4"));
    if (!writeRandomFile(video, size)) {
        out << "cannot write the video\n";
        return 1;
    }

    // The Agent runs in its own process so that its buffers do not count towards the peak memory.
    QProcess simulator;
    simulator.start(QStringLiteral(ONDIVO_BIN_DIR "/ondivo-sim"),
                    {QStringLiteral("--agents"), QStringLiteral("1"), QStringLiteral("--data-dir"),
                     dir.filePath(QStringLiteral("sim"))});
    if (!simulator.waitForStarted() || !simulator.waitForReadyRead(60000)) {
        out << "ondivo-sim did not start\n";
        return 1;
    }
    const QByteArray announcement = simulator.readLine().trimmed();
    const QJsonObject info = QJsonDocument::fromJson(announcement.mid(announcement.indexOf('{'))).object();
    const QString cloud = info.value(QStringLiteral("cloud")).toString();
    const QJsonObject agent = info.value(QStringLiteral("agents")).toArray().at(0).toObject();
    const QString agentUrl = agent.value(QStringLiteral("url")).toString();
    const QString token = agent.value(QStringLiteral("token")).toString();
    Node node;
    node.id = QStringLiteral("bench");
    node.agentApi.host = QStringLiteral("127.0.0.1");
    node.agentApi.port = QUrl(agentUrl).port();
    node.agentApi.token = token;
    const QString auth = QStringLiteral("Authorization: Bearer ") + token;

    // curl sends the whole file as one chunk of a session whose chunk is the file.
    auto curlUpload = [&](const QString& name) -> qint64 {
        curl({QStringLiteral("-s"), QStringLiteral("-X"), QStringLiteral("POST"),
              cloud + QStringLiteral("/__sim/agent"), QStringLiteral("-d"),
              QStringLiteral("{\"name\":\"%1\",\"uploadChunkSize\":%2}")
                  .arg(agent.value(QStringLiteral("name")).toString())
                  .arg(size)});
        const QJsonObject session =
            QJsonDocument::fromJson(
                curl({QStringLiteral("-s"), QStringLiteral("-H"), auth, QStringLiteral("-H"),
                      QStringLiteral("Content-Type: application/json"), QStringLiteral("-d"),
                      QStringLiteral(
                          "{\"mediaKind\":\"video\",\"fileName\":\"%1\",\"size\":\"%2\",\"chunkSize\":\"%2\","
                          "\"overwrite\":true}")
                          .arg(name)
                          .arg(size),
                      agentUrl + QStringLiteral("/files/upload/start")}))
                .object();
        const QString id = session.value(QStringLiteral("uploadId")).toString();
        QElapsedTimer timer;
        timer.start();
        // -T streams the file from disk (--data-binary would read all of it into memory first).
        const QByteArray reply =
            curl({QStringLiteral("-s"), QStringLiteral("-X"), QStringLiteral("POST"), QStringLiteral("-H"),
                  auth, QStringLiteral("-H"), QStringLiteral("Content-Type: application/octet-stream"),
                  QStringLiteral("-T"), video,
                  agentUrl + QStringLiteral("/files/upload/chunk?uploadId=%1&index=0").arg(id)});
        const qint64 ms = timer.elapsed();
        curl({QStringLiteral("-s"), QStringLiteral("-H"), auth, QStringLiteral("-d"),
              QStringLiteral("{\"uploadId\":\"%1\"}").arg(id),
              agentUrl + QStringLiteral("/files/upload/finish")});
        curl({QStringLiteral("-s"), QStringLiteral("-X"), QStringLiteral("POST"),
              cloud + QStringLiteral("/__sim/agent"), QStringLiteral("-d"),
              QStringLiteral("{\"name\":\"%1\",\"uploadChunkSize\":0}")
                  .arg(agent.value(QStringLiteral("name")).toString())});
        return QJsonDocument::fromJson(reply).object().value(QStringLiteral("received")).toArray().size() == 1
                   ? ms
                   : -1;
    };

    const qint64 baselineKiB = peakResidentKiB();
    // The machine may be shared: alternate the two and compare the best of each.
    qint64 engineMs = std::numeric_limits<qint64>::max();
    qint64 curlMs = std::numeric_limits<qint64>::max();
    bool failed = false;
    for (int round = 0; round < rounds; ++round) {
        const qint64 e = uploadWithEngine(node, video, QStringLiteral("engine.mp4"));
        const qint64 c = curlUpload(QStringLiteral("curl.mp4"));
        failed |= e < 0 || c < 0;
        engineMs = e < 0 ? engineMs : qMin(engineMs, e);
        curlMs = c < 0 ? curlMs : qMin(curlMs, c);
    }
    const qint64 peakKiB = peakResidentKiB();
    simulator.terminate();
    simulator.waitForFinished(5000);

    const double engineRate = mibPerSecond(size, engineMs);
    const double curlRate = mibPerSecond(size, curlMs);
    const qint64 chunk = files::chunkSizeFor(size);
    out << "video          " << sizeMiB << " MiB to ondivo-sim over 127.0.0.1, best of " << rounds
        << " alternating rounds\n";
    out << "engine         " << QString::number(engineRate, 'f', 1) << " MiB/s (" << engineMs << " ms, "
        << chunk / (1024 * 1024) << " MiB chunks, " << files::kVideoChunksInFlight << " in flight)\n";
    out << "curl           " << QString::number(curlRate, 'f', 1) << " MiB/s (" << curlMs
        << " ms, one request)\n";
    out << "ratio          " << QString::number(curlRate > 0 ? engineRate / curlRate : 0.0, 'f', 2)
        << " (engine / curl)\n";
    out << "peak memory    " << QString::number(double(peakKiB) / 1024.0, 'f', 1)
        << " MiB VmHWM of the uploading process (aim: 4 chunks + 32 MiB = "
        << (4 * chunk) / (1024 * 1024) + 32 << " MiB; "
        << QString::number(double(baselineKiB) / 1024.0, 'f', 1) << " MiB before the first upload)\n";
    out << "all finished   " << (failed ? "NO" : "yes") << "\n";
    out.flush();
    return failed ? 1 : 0;
}
