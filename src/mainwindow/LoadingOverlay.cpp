#include "mainwindow/LoadingOverlay.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

const char kOverlayStyle[] =
    "QWidget#loadingOverlay { background: rgba(0, 0, 0, 88); }"
    "QFrame#loadingPanel { background: #ffffff; border: 1px solid #d8d8d8; border-radius: 6px; }"
    "QLabel#loadingTitle { color: #202020; font-size: 15px; font-weight: 600; }"
    "QLabel#loadingHint { color: #666666; font-size: 12px; }";

bool isBlockedInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}

} // namespace

LoadingOverlay::LoadingOverlay(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("loadingOverlay"));
    setAttribute(Qt::WA_StyledBackground, true);
    setFocusPolicy(Qt::StrongFocus);
    setStyleSheet(QString::fromUtf8(kOverlayStyle));

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("loadingPanel"));
    panel->setMinimumWidth(340);
    panel->setMaximumWidth(460);
    titleLabel_ = new QLabel(panel);
    titleLabel_->setObjectName(QStringLiteral("loadingTitle"));
    titleLabel_->setAlignment(Qt::AlignCenter);
    titleLabel_->setWordWrap(true);
    titleLabel_->setTextFormat(Qt::PlainText); // busy texts name Nodes
    hintLabel_ = new QLabel(panel);
    hintLabel_->setObjectName(QStringLiteral("loadingHint"));
    hintLabel_->setAlignment(Qt::AlignCenter);
    hintLabel_->setWordWrap(true);
    hintLabel_->setTextFormat(Qt::PlainText);
    progress_ = new QProgressBar(panel);
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setFixedHeight(8);

    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(26, 22, 26, 22);
    panelLayout->setSpacing(12);
    panelLayout->addWidget(titleLabel_);
    panelLayout->addWidget(hintLabel_);
    panelLayout->addWidget(progress_);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch();
    outer->addWidget(panel, 0, Qt::AlignHCenter);
    outer->addStretch();
    hide();
}

void LoadingOverlay::showMessage(const QString& title, const QString& hint) {
    titleLabel_->setText(title.isEmpty() ? QStringLiteral("处理中...") : title);
    hintLabel_->setText(hint.isEmpty() ? QStringLiteral("请稍候") : hint);
    // Restart the indeterminate bar.
    progress_->setRange(0, 1);
    progress_->setRange(0, 0);
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
}

QString LoadingOverlay::title() const {
    return titleLabel_->text();
}

QString LoadingOverlay::hint() const {
    return hintLabel_->text();
}

bool LoadingOverlay::event(QEvent* event) {
    // Handled here rather than in the per-type handlers so that Tab cannot move the focus out from
    // under the overlay and shortcuts of the widgets below do not fire.
    if (isBlockedInput(event->type())) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}
