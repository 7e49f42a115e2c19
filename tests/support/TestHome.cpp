#include "TestHome.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

namespace testsupport {
namespace {
QString& storedHome() {
    static QString path;
    return path;
}
} // namespace

QString isolateHome() {
    static QTemporaryDir* dir = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/ondivo-test-XXXXXX"));
    const QString home = dir->path();
    storedHome() = home;
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    QDir().mkpath(home + QStringLiteral("/.config"));
    QDir().mkpath(home + QStringLiteral("/.local/share"));
    return home;
}

QString homePath() {
    return storedHome();
}

void clearSettings() {
    QSettings store(QStringLiteral("Ondivo"), QStringLiteral("Ondivo"));
    store.clear();
    store.sync();
}

} // namespace testsupport
