#include "ReleaseServer.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QMutex>

#include <chrono>
#include <httplib.h>
#include <optional>
#include <thread>

namespace {

enum class FaultKind { Fail, Drop, Stall };

struct PackageFault {
    FaultKind kind = FaultKind::Fail;
    int times = 0;
    int status = 500;
    int stallMs = 0;
    qint64 rangeStart = -1;
};

} // namespace

struct ReleaseServer::Impl {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    mutable QMutex mutex;
    QByteArray package;
    QString version;
    Variant variant;
    int rawManifestStatus = 0;
    QByteArray rawManifest;
    QList<PackageFault> faults;
    QList<QByteArray> ranges;

    QByteArray manifestBody() {
        QJsonObject manifest;
        manifest.insert(QStringLiteral("version"), version);
        manifest.insert(QStringLiteral("url"), QStringLiteral("http://127.0.0.1:%1/package.zip").arg(port));
        QByteArray digest = QCryptographicHash::hash(variant.wrongSha256 ? package + "x" : package,
                                                     QCryptographicHash::Sha256)
                                .toHex();
        if (variant.upperCaseSha256)
            digest = digest.toUpper();
        manifest.insert(QStringLiteral("sha256"), QString::fromLatin1(digest));
        if (!variant.omitSize)
            manifest.insert(QStringLiteral("size"), double(package.size()));
        return QJsonDocument(manifest).toJson(QJsonDocument::Compact);
    }

    // Takes the first fault that matches a request starting at rangeStart.
    std::optional<PackageFault> takeFault(qint64 rangeStart) {
        for (int i = 0; i < faults.size(); ++i) {
            PackageFault& fault = faults[i];
            if (fault.rangeStart >= 0 && fault.rangeStart != rangeStart)
                continue;
            const PackageFault taken = fault;
            if (--fault.times <= 0)
                faults.removeAt(i);
            return taken;
        }
        return std::nullopt;
    }

    void servePackage(const httplib::Request& request, httplib::Response& response) {
        QMutexLocker lock(&mutex);
        const QByteArray rangeHeader = QByteArray::fromStdString(request.get_header_value("Range"));
        ranges.append(rangeHeader);
        // The route answers Range itself; the library must not cut the body a second time.
        const_cast<httplib::Request&>(request).ranges.clear();

        qint64 first = 0;
        qint64 last = package.size() - 1;
        bool partial = false;
        if (!variant.ignoreRange && rangeHeader.startsWith("bytes=")) {
            const QList<QByteArray> bounds = rangeHeader.mid(6).split('-');
            first = bounds.value(0).toLongLong();
            if (!bounds.value(1).isEmpty())
                last = qMin(last, bounds.value(1).toLongLong());
            partial = true;
            if (first >= package.size()) {
                response.status = 416;
                response.set_header("Content-Range", "bytes */" + std::to_string(package.size()));
                return;
            }
        }
        const std::optional<PackageFault> fault = takeFault(first);
        if (fault && fault->kind == FaultKind::Fail) {
            response.status = fault->status;
            response.set_content("{\"error\":\"simulated\"}", "application/json");
            return;
        }
        response.status = partial ? 206 : 200;
        if (partial) {
            response.set_header(
                "Content-Range",
                QStringLiteral("bytes %1-%2/%3").arg(first).arg(last).arg(package.size()).toStdString());
        }
        const QByteArray body = package.mid(first, last - first + 1);
        const size_t length = size_t(body.size());
        const FaultKind kind = fault ? fault->kind : FaultKind::Fail;
        const bool disturbed = fault.has_value();
        const int stallMs = fault ? fault->stallMs : 0;
        response.set_content_provider(
            length, "application/zip",
            [body, length, kind, disturbed, stallMs](size_t offset, size_t, httplib::DataSink& sink) {
                if (!disturbed) {
                    sink.write(body.constData() + offset, length - offset);
                    return true;
                }
                sink.write(body.constData(), length / 2);
                if (kind == FaultKind::Stall)
                    std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
                return false; // closes the connection before the announced length
            });
    }
};

ReleaseServer::ReleaseServer() : d(std::make_unique<Impl>()) {
    d->server.Get("/manifest.json", [this](const httplib::Request&, httplib::Response& response) {
        QMutexLocker lock(&d->mutex);
        if (d->rawManifestStatus > 0) {
            response.status = d->rawManifestStatus;
            response.set_content(d->rawManifest.toStdString(), "application/json");
            return;
        }
        response.set_content(d->manifestBody().toStdString(), "application/json");
    });
    d->server.Get("/package.zip", [this](const httplib::Request& request, httplib::Response& response) {
        d->servePackage(request, response);
    });
    d->port = d->server.bind_to_any_port("127.0.0.1");
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
    while (!d->server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

ReleaseServer::~ReleaseServer() {
    d->server.stop();
    if (d->thread.joinable())
        d->thread.join();
}

QString ReleaseServer::manifestUrl() const {
    return QStringLiteral("http://127.0.0.1:%1/manifest.json").arg(d->port);
}

QString ReleaseServer::packageUrl() const {
    return QStringLiteral("http://127.0.0.1:%1/package.zip").arg(d->port);
}

void ReleaseServer::setPackage(const QByteArray& bytes, const QString& version) {
    QMutexLocker lock(&d->mutex);
    d->package = bytes;
    d->version = version;
}

void ReleaseServer::setVariant(const Variant& variant) {
    QMutexLocker lock(&d->mutex);
    d->variant = variant;
}

void ReleaseServer::setRawManifest(int status, const QByteArray& body) {
    QMutexLocker lock(&d->mutex);
    d->rawManifestStatus = status;
    d->rawManifest = body;
}

void ReleaseServer::failPackageRequests(int times, int status, qint64 rangeStart) {
    QMutexLocker lock(&d->mutex);
    d->faults.append({FaultKind::Fail, times, status, 0, rangeStart});
}

void ReleaseServer::dropPackageRequests(int times, qint64 rangeStart) {
    QMutexLocker lock(&d->mutex);
    d->faults.append({FaultKind::Drop, times, 0, 0, rangeStart});
}

void ReleaseServer::stallPackageRequests(int times, int stallMs, qint64 rangeStart) {
    QMutexLocker lock(&d->mutex);
    d->faults.append({FaultKind::Stall, times, 0, stallMs, rangeStart});
}

QList<QByteArray> ReleaseServer::packageRanges() const {
    QMutexLocker lock(&d->mutex);
    return d->ranges;
}

QByteArray ReleaseServer::packageSha256() const {
    QMutexLocker lock(&d->mutex);
    return QCryptographicHash::hash(d->package, QCryptographicHash::Sha256).toHex();
}
