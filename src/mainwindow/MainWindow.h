#pragma once

#include <QMainWindow>

// The client's one main window.
class MainWindow : public QMainWindow {
public:
    explicit MainWindow(QWidget* parent = nullptr);
};
