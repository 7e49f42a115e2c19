#pragma once

#include <memory>

class MainWindow;

// The main window with every page in place: the one file that knows both the window and the pages.
std::unique_ptr<MainWindow> createClientWindow();

// The client's run: sign-in, then the main window until it closes. Returns the exit code.
int runClient();
