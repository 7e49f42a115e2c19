#include "app/Settings.h"

#include "app/AppConstants.h"

#include <QSettings>
#include <QVariant>

namespace settings {
namespace {

QSettings openStore() {
    return QSettings(QString::fromLatin1(app::kOrganizationName), QString::fromLatin1(app::kApplicationName));
}

QVariant readRaw(const char* key) {
    return openStore().value(QString::fromLatin1(key));
}

} // namespace

QString readText(const char* key, const QString& fallback) {
    const QVariant value = readRaw(key);
    if (value.typeId() != QMetaType::QString)
        return fallback;
    return value.toString();
}

bool readBool(const char* key, bool fallback) {
    const QVariant value = readRaw(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        // Text-based stores (INI on Linux) give booleans back as text.
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            return false;
    }
    return fallback;
}

int readInt(const char* key, int fallback) {
    const QVariant value = readRaw(key);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        bool ok = false;
        const int number = value.toInt(&ok);
        return ok ? number : fallback;
    }
    case QMetaType::QString: {
        bool ok = false;
        const int number = value.toString().trimmed().toInt(&ok);
        return ok ? number : fallback;
    }
    default:
        return fallback;
    }
}

QByteArray readBytes(const char* key) {
    const QVariant value = readRaw(key);
    if (value.typeId() != QMetaType::QByteArray)
        return {};
    return value.toByteArray();
}

void writeText(const char* key, const QString& value) {
    openStore().setValue(QString::fromLatin1(key), value);
}

void writeBool(const char* key, bool value) {
    openStore().setValue(QString::fromLatin1(key), value);
}

void writeInt(const char* key, int value) {
    openStore().setValue(QString::fromLatin1(key), value);
}

void writeBytes(const char* key, const QByteArray& value) {
    openStore().setValue(QString::fromLatin1(key), value);
}

QString lastUsername() {
    return readText(key::lastUsername);
}
bool rememberPassword() {
    return readBool(key::rememberPassword);
}
bool autoLogin() {
    return readBool(key::autoLogin);
}
QString protectedPassword() {
    return readText(key::protectedPassword);
}

QString networkMode() {
    return readText(key::networkMode, QString::fromLatin1(kModeDirect));
}
QString proxyType() {
    return readText(key::proxyType, QString::fromLatin1(kTypeSocks5));
}
QString proxyHost() {
    return readText(key::proxyHost, QStringLiteral("127.0.0.1"));
}

int defaultProxyPortFor(const QString& type) {
    return type == QLatin1String(kTypeHttp) ? kDefaultHttpPort : kDefaultSocksPort;
}

int proxyPort() {
    return readInt(key::proxyPort, defaultProxyPortFor(proxyType()));
}
QString proxyUsername() {
    return readText(key::proxyUsername);
}
QString protectedProxyPassword() {
    return readText(key::protectedProxyPassword);
}

int gostPort() {
    return readInt(key::gostPort, 1080);
}
QString gostUsername() {
    return readText(key::gostUsername, QStringLiteral("ondivo"));
}
QString gostProtectedPassword() {
    return readText(key::gostProtectedPassword);
}

QString dataDirSetting() {
    return readText(key::dataDir);
}

} // namespace settings
