#include "webview/WebEngineHost.h"

#include "app/DataPaths.h"
#include "ui/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QVBoxLayout>
#include <QWidget>

#ifdef ONDIVO_HAVE_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#endif

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace webview {
namespace {

const QString kEngineMissing = QStringLiteral("网页引擎无法创建。");
const QString kEnvironmentFailed =
    QStringLiteral("WebView2 环境创建失败，请确认 Edge WebView2 Runtime 已安装。");
const QString kControllerFailed = QStringLiteral("WebView2 控件创建失败。");

std::optional<bool>& sandboxOverride() {
    static std::optional<bool> value;
    return value;
}

bool sandboxSwitchedOff() {
    if (qEnvironmentVariableIntValue("QTWEBENGINE_DISABLE_SANDBOX") != 0 ||
        qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox")))
        return true;
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

#ifdef ONDIVO_HAVE_WEBENGINE
// One profile for every embedded view of the client, so they share one on-disk folder. It lives as long
// as the application object, after every view (views are deleted with their windows).
QWebEngineProfile* sharedProfile(const QString& folder) {
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        // Chromium refuses to start its sandbox as root; the client then runs the renderer unsandboxed
        // rather than showing nothing at all.
#ifdef Q_OS_UNIX
        if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
        rendererSandboxed(); // logs the switched-off sandbox once
        profile = new QWebEngineProfile(QStringLiteral("webview2"), QCoreApplication::instance());
        profile->setPersistentStoragePath(folder);
        profile->setCachePath(folder + QStringLiteral("/cache"));
    }
    return profile;
}
#endif

} // namespace

bool rendererSandboxed() {
    if (sandboxOverride())
        return *sandboxOverride();
    const bool off = sandboxSwitchedOff();
    static bool logged = false;
    if (off && !logged) {
        logged = true;
        app::appendLog(QStringLiteral("web engine: renderer sandbox is off (running as root or switched off "
                                      "in the environment); pages from Nodes are not loaded in the client"));
    }
    return !off;
}

void testing::setRendererSandboxed(std::optional<bool> sandboxed) {
    sandboxOverride() = sandboxed;
}

WebEngineHost::WebEngineHost(QWidget* host) : host_(host) {
}

QWebEngineView* WebEngineHost::view() const {
#ifdef ONDIVO_HAVE_WEBENGINE
    return view_;
#else
    return nullptr;
#endif
}

QString WebEngineHost::userDataFolder() {
    return app::appDataDirectory() + QStringLiteral("/webview2");
}

bool WebEngineHost::open(const QUrl& url) {
    if (!prepare())
        return false;
#ifdef ONDIVO_HAVE_WEBENGINE
    view_->load(url);
    return true;
#else
    Q_UNUSED(url);
    return false;
#endif
}

bool WebEngineHost::prepare() {
    if (view_)
        return true;
    if (*failed_ || !host_)
        return false;
#ifdef ONDIVO_HAVE_WEBENGINE
    const QString folder = userDataFolder();
    if (!QDir().mkpath(folder)) {
        *failed_ = true;
        ui::warning(host_, kEnvironmentFailed);
        return false;
    }
    QWebEngineProfile* profile = sharedProfile(folder);
    if (!profile) {
        *failed_ = true;
        ui::warning(host_, kEnvironmentFailed);
        return false;
    }
    auto* layout = qobject_cast<QVBoxLayout*>(host_->layout());
    if (!layout) {
        layout = new QVBoxLayout(host_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    view_ = new QWebEngineView(host_);
    view_->setPage(new QWebEnginePage(profile, view_));
    layout->addWidget(view_);
    // A renderer that dies before the first page finished loading means the engine could not come up;
    // later crashes are the page's business unless asked otherwise. The view is the context, so nothing
    // runs after it is gone.
    auto loaded = std::make_shared<bool>(false);
    QObject::connect(view_, &QWebEngineView::loadFinished, view_, [loaded](bool ok) {
        if (ok)
            *loaded = true;
    });
    QObject::connect(view_->page(), &QWebEnginePage::renderProcessTerminated, view_,
                     [failed = failed_, loaded, reportLater = reportLaterCrashes_,
                      view = view_](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                         if ((*loaded && !reportLater) || status == QWebEnginePage::NormalTerminationStatus ||
                             *failed)
                             return;
                         *failed = true;
                         ui::warning(view->window(), kControllerFailed);
                     });
    // The shared profile goes with the application object; a page still alive then is torn down out of
    // order, so views end when the application starts to quit.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, host_.data(),
                     [view = view_] { delete view.data(); });
    return true;
#else
    *failed_ = true;
    ui::warning(host_, kEngineMissing);
    return false;
#endif
}

} // namespace webview
