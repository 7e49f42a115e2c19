#include "streaming/WebViewPane.h"

#include "app/DataPaths.h"
#include "ui/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#ifdef ONDIVO_HAVE_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#endif

namespace {

const QString kNoAddress = QStringLiteral("当前房间没有可用的预览地址。");
const QString kEnvironmentFailed =
    QStringLiteral("WebView2 环境创建失败，请确认 Edge WebView2 Runtime 已安装。");
const QString kControlFailed = QStringLiteral("WebView2 控件创建失败。");

#ifdef ONDIVO_HAVE_WEBENGINE
// One persistent profile for the whole process: two profiles on the same folder would fight over it.
QWebEngineProfile* sharedProfile() {
    static QWebEngineProfile* profile = [] {
        const QString folder = WebViewPane::userDataFolder();
        QDir().mkpath(folder);
        auto* created = new QWebEngineProfile(QStringLiteral("ondivo"), QCoreApplication::instance());
        created->setPersistentStoragePath(folder);
        created->setCachePath(folder + QStringLiteral("/cache"));
        return created;
    }();
    return profile;
}
#endif

} // namespace

WebViewPane::WebViewPane(const QString& url, QWidget* parent) : QWidget(parent), url_(url.trimmed()) {
    host_ = new QWidget(this);
    host_->setObjectName(QStringLiteral("webViewHost"));
    host_->setAttribute(Qt::WA_NativeWindow);
    host_->setAttribute(Qt::WA_StyledBackground);
    host_->setStyleSheet(QStringLiteral("background:#101014;"));
    host_->setMinimumSize(720, 405);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(host_);

    if (url_.isEmpty()) {
        ui::information(this, kNoAddress);
        return;
    }
    // Tied to the pane: a pane deleted before the event loop runs never starts its view.
    QTimer::singleShot(0, this, [this] { startView(); });
}

WebViewPane::~WebViewPane() {
    // The view is a child of the host; deleting it before the profile's users go keeps Qt quiet.
    delete view_.data();
}

QWebEngineView* WebViewPane::view() const {
    return view_.data();
}

QString WebViewPane::userDataFolder() {
    return app::appDataDirectory() + QStringLiteral("/webview2");
}

void WebViewPane::startView() {
#ifdef ONDIVO_HAVE_WEBENGINE
    QWebEngineProfile* profile = sharedProfile();
    if (!profile) {
        ui::warning(this, kEnvironmentFailed);
        failureShown_ = true;
        return;
    }
    auto* view = new QWebEngineView(host_);
    auto* page = new QWebEnginePage(profile, view);
    view->setPage(page);
    view_ = view;
    // Every connection names the pane as its context, so none outlives it.
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status == QWebEnginePage::NormalTerminationStatus || failureShown_)
                    return;
                failureShown_ = true;
                ui::warning(this, kControlFailed);
            });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        loadFinished_ = true;
        loadSucceeded_ = ok;
    });
    // The shared profile goes with the application object; a page still alive then is torn down out of
    // order, so views end when the application starts to quit.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { delete view_.data(); });
    fitViewToHost();
    view->show();
    view->load(QUrl(url_));
#else
    failureShown_ = true;
    ui::warning(this, kEnvironmentFailed);
#endif
}

void WebViewPane::fitViewToHost() {
    if (view_)
        view_->setGeometry(0, 0, host_->width(), host_->height());
}

void WebViewPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The layout resizes the host only after this; follow it once it has.
    QTimer::singleShot(0, this, [this] { fitViewToHost(); });
}
