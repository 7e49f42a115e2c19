#include "app/ToolkitTranslation.h"
#include "client/ClientWindow.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    app::installToolkitTranslation();
    return runClient();
}
