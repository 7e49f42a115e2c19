#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <memory>

// A release host on 127.0.0.1 for the updater's tests: "/manifest.json" and "/package.zip" with HTTP
// Range, and faults on the package route (failing answers, a dropped connection, a stall, a server
// that ignores Range). Requests are served on the HTTP library's threads; all members are thread-safe.
class ReleaseServer {
public:
    struct Variant {
        bool ignoreRange = false;
        bool omitSize = false;
        bool upperCaseSha256 = false;
        bool wrongSha256 = false;
    };

    ReleaseServer();
    ~ReleaseServer();

    QString manifestUrl() const;
    QString packageUrl() const;

    void setPackage(const QByteArray& bytes, const QString& version);
    void setVariant(const Variant& variant);
    // Replaces the manifest with this raw body and status (manifest failure cases).
    void setRawManifest(int status, const QByteArray& body);

    // The next `times` package requests whose range starts at `rangeStart` (-1: any) fail so.
    void failPackageRequests(int times, int status, qint64 rangeStart = -1);
    void dropPackageRequests(int times, qint64 rangeStart = -1);               // half the body, then close
    void stallPackageRequests(int times, int stallMs, qint64 rangeStart = -1); // some data, then silence

    // "bytes=a-b" of every package request so far, in order.
    QList<QByteArray> packageRanges() const;
    QByteArray packageSha256() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
