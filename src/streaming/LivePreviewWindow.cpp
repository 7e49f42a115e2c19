#include "streaming/LivePreviewWindow.h"

#include "widgets/WebViewPane.h"

#include <QShortcut>

LivePreviewWindow::LivePreviewWindow(const QString& roomName, const QString& previewUrl, QWidget* parent)
    : QMainWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("观看直播 - ") + (roomName.isEmpty() ? QStringLiteral("RTMP") : roomName));
    resize(980, 560);
    pane_ = new WebViewPane(previewUrl, this);
    setCentralWidget(pane_);
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QWidget::close);
}
