#pragma once

#include <QByteArray>
#include <QString>

// The one per-user settings store ("Ondivo"/"Ondivo") and its key catalogue. Every accessor opens its
// own short-lived store, so the client and the updater always see what the other wrote last.
// An absent key, or a value of the wrong type, reads as the catalogue default.
namespace settings {

namespace key {
inline constexpr char lastUsername[] = "lastUsername";
inline constexpr char rememberPassword[] = "rememberPassword";
inline constexpr char autoLogin[] = "autoLogin";
inline constexpr char protectedPassword[] = "protectedPassword";
inline constexpr char networkMode[] = "network/mode";
inline constexpr char proxyType[] = "network/proxyType";
inline constexpr char proxyHost[] = "network/proxyHost";
inline constexpr char proxyPort[] = "network/proxyPort";
inline constexpr char proxyUsername[] = "network/proxyUsername";
inline constexpr char protectedProxyPassword[] = "network/protectedProxyPassword";
inline constexpr char gostPort[] = "proxy/port";
inline constexpr char gostUsername[] = "proxy/username";
inline constexpr char gostProtectedPassword[] = "proxy/protectedPassword";
inline constexpr char dataDir[] = "storage/dataDir";
inline constexpr char mainGeometry[] = "window/mainGeometry";
inline constexpr char mainState[] = "window/mainState";
inline constexpr char nodeGeometry[] = "window/nodeGeometry";
inline constexpr char nodeState[] = "window/nodeState";
} // namespace key

inline constexpr char kModeDirect[] = "direct";
inline constexpr char kModeLocalProxy[] = "localProxy";
inline constexpr char kTypeSocks5[] = "socks5";
inline constexpr char kTypeHttp[] = "http";
inline constexpr int kDefaultSocksPort = 10808;
inline constexpr int kDefaultHttpPort = 10809;

// Generic typed reads with the catalogue's type rules.
QString readText(const char* key, const QString& fallback = QString());
bool readBool(const char* key, bool fallback = false);
int readInt(const char* key, int fallback);
QByteArray readBytes(const char* key);
void writeText(const char* key, const QString& value);
void writeBool(const char* key, bool value);
void writeInt(const char* key, int value);
void writeBytes(const char* key, const QByteArray& value);

// Account
QString lastUsername();
bool rememberPassword();
bool autoLogin();
QString protectedPassword();

// Application proxy
QString networkMode();
QString proxyType();
QString proxyHost();
int defaultProxyPortFor(const QString& type);
int proxyPort();
QString proxyUsername();
QString protectedProxyPassword();

// Defaults offered for new GOST proxies
int gostPort();
QString gostUsername();
QString gostProtectedPassword();

// Storage
QString dataDirSetting();

} // namespace settings
