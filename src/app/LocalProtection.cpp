#include "app/LocalProtection.h"

#include "platform/LocalSecret.h"

namespace app {

QString protectLocal(const QString& text) {
    const QByteArray blob = platform::protectData(text.toUtf8());
    if (blob.isEmpty())
        return {};
    return QString::fromLatin1(blob.toBase64());
}

QString unprotectLocal(const QString& base64Text) {
    const auto decoded =
        QByteArray::fromBase64Encoding(base64Text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return {};
    bool ok = false;
    const QByteArray plain = platform::unprotectData(decoded.decoded, &ok);
    return ok ? QString::fromUtf8(plain) : QString();
}

} // namespace app
