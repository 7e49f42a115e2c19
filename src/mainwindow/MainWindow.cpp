#include "mainwindow/MainWindow.h"

#include "net/SignInState.h"

#include <QLabel>
#include <QStatusBar>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Ondivo"));
    resize(1060, 680);
    auto* status = new QLabel(QStringLiteral("已登录 %1").arg(signInState().username), this);
    statusBar()->addWidget(status, 1);
}
