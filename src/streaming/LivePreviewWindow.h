#pragma once

#include <QMainWindow>

class WebViewPane;

// A top-level window playing one room's HLS preview; it deletes itself when closed. Several may be open.
class LivePreviewWindow : public QMainWindow {
public:
    LivePreviewWindow(const QString& roomName, const QString& previewUrl, QWidget* parent = nullptr);

    WebViewPane* pane() const { return pane_; }

private:
    WebViewPane* pane_ = nullptr;
};
