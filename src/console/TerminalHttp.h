#pragma once

#include <QByteArray>
#include <QString>

// The request rules of the terminal's local asset server, free of sockets so they can be checked alone.
namespace console {

// The full HTTP/1.1 answer: status line, the four headers and the body.
QByteArray httpResponse(int status, const QByteArray& contentType, const QByteArray& body);

// Content type by the file name's ending (case-insensitive).
QByteArray contentTypeFor(const QString& fileName);

// True when `canonicalPath` is `canonicalRoot` itself or lies below it. Both must already be canonical
// (links resolved); the comparison is exact, so a sibling "assets-x" of "assets" is outside.
bool isInsideRoot(const QString& canonicalPath, const QString& canonicalRoot);

// The canonical path of the file a request path names inside the root, or an empty string when the
// path leaves the root, names no regular file, or the root is empty. `requestPath` is already
// percent-decoded and cut at "?".
QString resolveAssetPath(const QString& requestPath, const QString& canonicalRoot);

// The whole answer to the bytes of one request (all that arrived in the first read). An empty result
// means: no request line at all, just disconnect.
QByteArray answerAssetRequest(const QByteArray& request, const QString& canonicalRoot);

} // namespace console
