#include "widgets/WebViewPane.h"

#include "ui/Dialogs.h"

#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#ifdef ONDIVO_HAVE_WEBENGINE
#include <QWebEngineView>
#endif

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
    web_ = webview::WebEngineHost(host_);
    // The pane shows nothing but the page, so a renderer lost at any time is worth saying.
    web_.setReportLaterCrashes(true);

    if (url_.isEmpty()) {
        ui::information(this, QStringLiteral("当前房间没有可用的预览地址。"));
        return;
    }
    // Tied to the pane: a pane deleted before the event loop runs never starts its view.
    QTimer::singleShot(0, this, [this] { startView(); });
}

WebViewPane::~WebViewPane() {
    // The view lives in the host; deleting it before the profile's users go keeps the engine quiet.
    delete view();
}

void WebViewPane::startView() {
    if (!web_.prepare())
        return; // the host said why
#ifdef ONDIVO_HAVE_WEBENGINE
    // The pane is the context, so this never runs after it is gone.
    connect(web_.view(), &QWebEngineView::loadFinished, this, [this](bool ok) {
        loadFinished_ = true;
        loadSucceeded_ = ok;
    });
#endif
    web_.open(QUrl(url_));
}
