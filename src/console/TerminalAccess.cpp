#include "console/TerminalAccess.h"

#include <QRandomGenerator>
#include <QUrlQuery>

#include <array>

namespace console {

QByteArray newTerminalSecret() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray raw(reinterpret_cast<const char*>(words.data()), int(sizeof(words)));
    return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

bool constantTimeEquals(const QByteArray& given, const QByteArray& expected) {
    // Walk the expected length whatever is given, so neither the position of a difference nor a shorter
    // guess shows in the time taken.
    unsigned difference = unsigned(given.size() ^ expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const unsigned char g = i < given.size() ? uchar(given.at(i)) : 0;
        difference |= unsigned(g ^ uchar(expected.at(i)));
    }
    return difference == 0 && !expected.isEmpty();
}

QString assetOrigin(quint16 assetPort) {
    return QStringLiteral("http://127.0.0.1:") + QString::number(assetPort);
}

bool mayBridge(const QUrl& requestUrl, const QString& origin, const QByteArray& secret,
               const QString& expectedOrigin) {
    const QUrlQuery query(requestUrl);
    const QList<QString> given =
        query.allQueryItemValues(QLatin1String(kSecretParameter), QUrl::FullyDecoded);
    const QByteArray offered = given.size() == 1 ? given.first().toUtf8() : QByteArray();
    // Both checks always run, so a refusal takes the same time whichever of them failed.
    const bool secretOk = constantTimeEquals(offered, secret);
    const bool originOk = constantTimeEquals(origin.toUtf8(), expectedOrigin.toUtf8());
    return secretOk && originOk;
}

QUrl terminalPageUrl(quint16 assetPort, quint16 socketPort, const QByteArray& secret) {
    QUrl url(QStringLiteral("http://127.0.0.1:%1/terminal.html").arg(assetPort));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("port"), QString::number(socketPort));
    query.addQueryItem(QLatin1String(kSecretParameter), QString::fromLatin1(secret));
    url.setQuery(query);
    return url;
}

QString maskedForLog(const QUrl& url) {
    QUrl masked = url;
    QUrlQuery query(url);
    if (query.hasQueryItem(QLatin1String(kSecretParameter))) {
        const int count = query.allQueryItemValues(QLatin1String(kSecretParameter)).size();
        query.removeAllQueryItems(QLatin1String(kSecretParameter));
        for (int i = 0; i < count; ++i)
            query.addQueryItem(QLatin1String(kSecretParameter), QStringLiteral("***"));
        masked.setQuery(query);
    }
    return masked.toString(QUrl::FullyEncoded);
}

} // namespace console
