#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QWebEngineView;

// A dark area that shows one web address in an embedded browser view. The view is created after the
// pane has been shown (so the window appears at once) and is the pane's child, so every callback of
// the view ends with the pane; a window closed before the view exists never creates it.
class WebViewPane : public QWidget {
public:
    explicit WebViewPane(const QString& url, QWidget* parent = nullptr);
    ~WebViewPane() override;

    QString url() const { return url_; }
    QWidget* host() const { return host_; }
    // The view once it exists; nullptr before, or after it could not be created.
    QWebEngineView* view() const;
    // Whether the page finished loading at least once, and with what outcome.
    bool loadFinished() const { return loadFinished_; }
    bool loadSucceeded() const { return loadSucceeded_; }

    // The one browser profile folder of the client's embedded views.
    static QString userDataFolder();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void startView();
    void fitViewToHost();

    QString url_;
    QWidget* host_ = nullptr;
    QPointer<QWebEngineView> view_;
    bool failureShown_ = false;
    bool loadFinished_ = false;
    bool loadSucceeded_ = false;
};
