#include "ScreensMain.h"

#include "TestHome.h"

#include <QApplication>
#include <QDir>

namespace screens {

int run(int argc, char** argv, int (*draw)(const QString& outDir)) {
    testsupport::isolateHome();
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    if (!QDir().mkpath(outDir))
        return 1;
    return draw(outDir);
}

} // namespace screens
