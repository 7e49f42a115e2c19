#include "account/LoginDialog.h"
#include "app/AppConstants.h"
#include "client/ClientWindow.h"
#include "mainwindow/MainWindow.h"

#include <QApplication>
#include <QDialog>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(app::kOrganizationName));
    QApplication::setApplicationName(QString::fromLatin1(app::kApplicationName));

    LoginDialog login;
    if (login.exec() != QDialog::Accepted)
        return 0;

    // Destroyed before the sign-in dialog, whatever the event loop returns.
    auto window = createClientWindow();
    window->show();
    const int code = QApplication::exec();
    window.reset();
    return code;
}
