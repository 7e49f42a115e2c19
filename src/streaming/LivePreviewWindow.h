#pragma once

#include <QMainWindow>

class WebViewPane;

class QLineEdit;

// A top-level window playing one room's HLS preview; it deletes itself when closed. Several may be open.
// The preview page comes from the Node, so it is played only where the web engine's renderers run
// sandboxed; otherwise the window shows the address (to copy into a browser) and says why.
class LivePreviewWindow : public QMainWindow {
public:
    LivePreviewWindow(const QString& roomName, const QString& previewUrl, QWidget* parent = nullptr);

    // The embedded player; nullptr when the address is shown instead.
    WebViewPane* pane() const { return pane_; }
    QLineEdit* addressField() const { return address_; }

private:
    QWidget* createAddressPanel(const QString& previewUrl);

    WebViewPane* pane_ = nullptr;
    QLineEdit* address_ = nullptr;
};
