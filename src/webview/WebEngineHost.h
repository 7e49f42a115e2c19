#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QWebEngineView;
class QWidget;

namespace webview {

// Hosts an embedded web view inside a host widget: the view fills the host (and follows its size),
// uses the client's one browser profile kept under the application data directory + "/webview2",
// and every step that fails shows its warning (title "Ondivo") once and leaves the host dark.
// The view is a child of the host, so it dies with it; nothing here outlives the host.
class WebEngineHost {
public:
    explicit WebEngineHost(QWidget* host);

    // By default only a renderer that dies before the first page finished loading is reported (the engine
    // could not come up); with this, a later crash is reported too (once), for views that show nothing else.
    // Takes effect for a view created afterwards.
    void setReportLaterCrashes(bool report) { reportLaterCrashes_ = report; }

    // Creates the view (once); false after a failure was shown.
    bool prepare();
    // prepare(), then navigates the view to url.
    bool open(const QUrl& url);

    QWebEngineView* view() const;
    QWidget* host() const { return host_; }

    // The browser profile's folder (created by open()).
    static QString userDataFolder();

private:
    QPointer<QWidget> host_;
    QPointer<QWebEngineView> view_;
    // Shared with the view's callbacks, which may run while the view outlives this object briefly.
    std::shared_ptr<bool> failed_ = std::make_shared<bool>(false);
    bool reportLaterCrashes_ = false;
};

// Whether the engine's renderers run in their sandbox. Chromium cannot sandbox them for root, and the
// client then runs them unsandboxed rather than showing nothing (the same when the sandbox was switched
// off through the environment): pages that come from outside the client must not be loaded then. The
// first call that finds the sandbox off says so in the log.
bool rendererSandboxed();

namespace testing {
// Overrides what rendererSandboxed() finds; nullopt restores the real answer.
void setRendererSandboxed(std::optional<bool> sandboxed);
} // namespace testing

} // namespace webview
