#include "console/TerminalHttp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace console {
namespace {

QByteArray reasonFor(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    default:
        return "Error";
    }
}

QByteArray plainAnswer(int status, const QByteArray& text) {
    return httpResponse(status, "text/plain", text);
}

} // namespace

QByteArray httpResponse(int status, const QByteArray& contentType, const QByteArray& body) {
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonFor(status) +
           "\r\nContent-Type: " + contentType + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + body;
}

QByteArray contentTypeFor(const QString& fileName) {
    if (fileName.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
        return "text/html; charset=utf-8";
    if (fileName.endsWith(QLatin1String(".js"), Qt::CaseInsensitive))
        return "application/javascript; charset=utf-8";
    if (fileName.endsWith(QLatin1String(".css"), Qt::CaseInsensitive))
        return "text/css; charset=utf-8";
    return "application/octet-stream";
}

bool isInsideRoot(const QString& canonicalPath, const QString& canonicalRoot) {
    if (canonicalPath.isEmpty() || canonicalRoot.isEmpty())
        return false;
    if (canonicalPath == canonicalRoot)
        return true;
    const QString prefix =
        canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot : canonicalRoot + QLatin1Char('/');
    return canonicalPath.startsWith(prefix, Qt::CaseSensitive);
}

QString resolveAssetPath(const QString& requestPath, const QString& canonicalRoot) {
    if (canonicalRoot.isEmpty() || requestPath.contains(QChar(0)))
        return QString();
    // Appended to the root as a relative path; cleaning it once more after joining catches any ".."
    // the caller's check missed, and canonicalisation resolves links before the containment check.
    const QString joined = QDir::cleanPath(canonicalRoot + QLatin1Char('/') + requestPath.mid(1));
    const QFileInfo info(joined);
    const QString canonical = info.canonicalFilePath();
    if (!isInsideRoot(canonical, canonicalRoot) || !QFileInfo(canonical).isFile())
        return QString();
    return canonical;
}

QByteArray answerAssetRequest(const QByteArray& request, const QString& canonicalRoot) {
    const QList<QByteArray> lines = request.split('\n');
    if (request.isEmpty() || lines.isEmpty())
        return QByteArray();
    const QList<QByteArray> parts = lines.first().trimmed().split(' ');
    if (parts.size() < 2 || parts.first() != "GET")
        return plainAnswer(405, "Method Not Allowed");

    QString path = QUrl::fromPercentEncoding(parts.at(1));
    const qsizetype query = path.indexOf(QLatin1Char('?'));
    if (query >= 0)
        path.truncate(query);
    if (path.isEmpty() || path == QLatin1String("/"))
        path = QStringLiteral("/terminal.html");
    path = QDir::cleanPath(path);
    if (path.startsWith(QLatin1String("../")) || path == QLatin1String("..") ||
        path.contains(QLatin1String("/../")) || path.endsWith(QLatin1String("/..")))
        return plainAnswer(403, "Forbidden");

    const QString file = resolveAssetPath(path, canonicalRoot);
    if (file.isEmpty())
        return plainAnswer(404, "Not Found");
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly))
        return plainAnswer(404, "Not Found");
    return httpResponse(200, contentTypeFor(file), source.readAll());
}

} // namespace console
