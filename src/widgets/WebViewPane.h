#pragma once

#include "webview/WebEngineHost.h"

#include <QString>
#include <QWidget>

class QWebEngineView;

// A dark area that shows one web address in the client's embedded browser view (the one browser profile
// every embedded view shares). The view is created after the pane has been shown (so the window appears
// at once) inside the pane's host, so every callback of the view ends with the pane; a window closed
// before the view exists never creates it.
class WebViewPane : public QWidget {
public:
    explicit WebViewPane(const QString& url, QWidget* parent = nullptr);
    ~WebViewPane() override;

    QString url() const { return url_; }
    QWidget* host() const { return host_; }
    // The view once it exists; nullptr before, or after it could not be created.
    QWebEngineView* view() const { return web_.view(); }
    // Whether the page finished loading at least once, and with what outcome.
    bool loadFinished() const { return loadFinished_; }
    bool loadSucceeded() const { return loadSucceeded_; }

private:
    void startView();

    QString url_;
    QWidget* host_ = nullptr;
    webview::WebEngineHost web_{nullptr};
    bool loadFinished_ = false;
    bool loadSucceeded_ = false;
};
