#include "updater/UpdaterEntry.h"
#include "updater/UpdaterTiming.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    updater::applyTimingOverridesFromEnvironment();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return updater::runUpdaterProgram(arguments, QCoreApplication::applicationFilePath());
}
