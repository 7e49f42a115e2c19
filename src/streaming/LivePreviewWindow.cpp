#include "streaming/LivePreviewWindow.h"

#include "webview/WebEngineHost.h"
#include "widgets/WebViewPane.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

LivePreviewWindow::LivePreviewWindow(const QString& roomName, const QString& previewUrl, QWidget* parent)
    : QMainWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("观看直播 - ") + (roomName.isEmpty() ? QStringLiteral("RTMP") : roomName));
    resize(980, 560);
    // An empty address loads nothing, so the pane may say so itself.
    if (webview::rendererSandboxed() || previewUrl.trimmed().isEmpty()) {
        pane_ = new WebViewPane(previewUrl, this);
        setCentralWidget(pane_);
    } else {
        setCentralWidget(createAddressPanel(previewUrl.trimmed()));
    }
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QWidget::close);
}

QWidget* LivePreviewWindow::createAddressPanel(const QString& previewUrl) {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(24, 24, 24, 24);
    auto* why = new QLabel(
        QStringLiteral(
            "程序以 root 身份运行（或网页引擎的沙箱已被关闭），内置网页引擎无法在沙箱中运行。"
            "预览页面来自节点，为安全起见不在程序内打开。请复制下面的地址，在浏览器或播放器中观看。"),
        panel);
    why->setTextFormat(Qt::PlainText);
    why->setWordWrap(true);
    layout->addWidget(why);
    auto* row = new QHBoxLayout;
    address_ = new QLineEdit(previewUrl, panel);
    address_->setReadOnly(true);
    address_->setCursorPosition(0);
    auto* copy = new QPushButton(QStringLiteral("复制地址"), panel);
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(address_->text()); });
    row->addWidget(address_, 1);
    row->addWidget(copy);
    layout->addLayout(row);
    layout->addStretch(1);
    return panel;
}
