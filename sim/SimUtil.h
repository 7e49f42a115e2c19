#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QRandomGenerator>
#include <QString>

namespace sim::detail {

inline qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}
inline qint64 nowSecs() {
    return QDateTime::currentSecsSinceEpoch();
}

// Letters and digits only, so keys and ids are safe in URLs and paths.
inline QString randomToken(int length) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString text;
    for (int i = 0; i < length; ++i)
        text.append(QLatin1Char(alphabet[QRandomGenerator::global()->bounded(36)]));
    return text;
}

inline QString textOf(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString();
}

// A file or folder name the Agent accepts: no separators, no parent references, nothing hidden.
inline bool isPlainName(const QString& name) {
    return !name.trimmed().isEmpty() && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && name != QLatin1String("..") &&
           !name.startsWith(QLatin1Char('.')) && !name.contains(QChar(0));
}

} // namespace sim::detail
