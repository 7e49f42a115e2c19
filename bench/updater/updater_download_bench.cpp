// Downloads one package from ondivo-sim over loopback twice: with the updater's own download code
// (4 MiB ranged segments written to disk as they arrive) and with `curl -o`, in the same run and
// from the same server. Prints both throughputs, their ratio and this process's peak resident memory.
#include "updater/PackageDownload.h"
#include "updater/PackageHash.h"
#include "updater/UpdateFailure.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <limits>

#include "BenchSupport.h"

namespace {

QTextStream out(stdout);

using bench::mibPerSecond;
using bench::peakResidentKiB;

bool writePackage(const QString& path, qint64 bytes) {
    return bench::writeRandomFile(path, bytes, 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 sizeMiB = argc > 1 ? QByteArray(argv[1]).toLongLong() : 256;
    const int rounds = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 3;
    const qint64 size = sizeMiB * 1024 * 1024;
    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("ondivo-client.zip"));
    if (!writePackage(package, size)) {
        out << "cannot write the package\n";
        return 1;
    }

    // The server runs in its own process so that its buffers do not count towards the peak memory.
    QProcess simulator;
    simulator.start(QStringLiteral(ONDIVO_BIN_DIR "/ondivo-sim"),
                    {QStringLiteral("--client-package"), package, QStringLiteral("--client-version"),
                     QStringLiteral("9.9.9")});
    if (!simulator.waitForStarted() || !simulator.waitForReadyRead(60000)) {
        out << "ondivo-sim did not start\n";
        return 1;
    }
    const QByteArray announcement = simulator.readLine().trimmed();
    const QJsonObject info = QJsonDocument::fromJson(announcement.mid(announcement.indexOf('{'))).object();
    const QString url =
        info.value(QStringLiteral("cloud")).toString() + QStringLiteral("/api/releases/client/package");

    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    qint64 reports = 0;
    updater::PackageDownloader downloader(manager,
                                          [&reports](const QString&, const QString&, int) { ++reports; });
    const QString updaterCopy = dir.filePath(QStringLiteral("updater.zip"));
    const QString curlCopy = dir.filePath(QStringLiteral("curl.zip"));
    // The machine may be shared: alternate the two a few times and compare the best of each.
    qint64 updaterMs = std::numeric_limits<qint64>::max();
    qint64 curlMs = std::numeric_limits<qint64>::max();
    int curlExit = 0;
    QElapsedTimer timer;
    for (int round = 0; round < rounds; ++round) {
        timer.start();
        try {
            downloader.download(QUrl(url), updaterCopy, size);
        } catch (const updater::UpdateFailure& failure) {
            out << "updater download failed: " << failure.message() << "\n";
            return 1;
        }
        updaterMs = qMin(updaterMs, timer.elapsed());
        timer.restart();
        curlExit |= QProcess::execute(QStringLiteral("curl"),
                                      {QStringLiteral("-s"), QStringLiteral("-o"), curlCopy, url});
        curlMs = qMin(curlMs, timer.elapsed());
    }
    const qint64 peakKiB = peakResidentKiB();

    simulator.terminate();
    simulator.waitForFinished(5000);

    const bool same = QFileInfo(updaterCopy).size() == size && QFileInfo(curlCopy).size() == size &&
                      updater::sha256OfFile(updaterCopy) == updater::sha256OfFile(curlCopy);
    const double updaterRate = mibPerSecond(size, updaterMs);
    const double curlRate = mibPerSecond(size, curlMs);
    out << "package        " << sizeMiB << " MiB over 127.0.0.1 from ondivo-sim, best of " << rounds
        << " alternating rounds\n";
    out << "updater        " << QString::number(updaterRate, 'f', 1) << " MiB/s (" << updaterMs << " ms, "
        << reports / rounds << " progress reports per run)\n";
    out << "curl -o        " << QString::number(curlRate, 'f', 1) << " MiB/s (" << curlMs << " ms, exit "
        << curlExit << ")\n";
    out << "ratio          " << QString::number(curlRate > 0 ? updaterRate / curlRate : 0.0, 'f', 2)
        << " (updater / curl)\n";
    out << "peak memory    " << QString::number(double(peakKiB) / 1024.0, 'f', 1)
        << " MiB VmHWM of the updater's process\n";
    out << "files equal    " << (same ? "yes" : "NO") << "\n";
    out.flush();
    return same && curlExit == 0 ? 0 : 1;
}
