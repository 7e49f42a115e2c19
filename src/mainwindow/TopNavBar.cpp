#include "mainwindow/TopNavBar.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>

namespace {

const char kNavBarStyle[] =
    "QWidget#topNavBar { background: #f7f7f7; border-bottom: 1px solid #d8d8d8; }"
    "QPushButton { border: none; border-radius: 4px; padding: 0 18px; min-width: 96px; height: 42px; "
    "color: #303030; font-size: 14px; text-align: left; }"
    "QPushButton:hover { background: #ececec; }"
    "QPushButton:checked { background: #ffffff; color: #005fb8; border: 1px solid #d0d0d0; font-weight: 600; "
    "}";

} // namespace

TopNavBar::TopNavBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("topNavBar"));
    // The bar's own background and border come from the style sheet only with a styled background.
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QString::fromUtf8(kNavBarStyle));
    layout_ = new QHBoxLayout(this);
    layout_->setContentsMargins(10, 8, 10, 8);
    layout_->setSpacing(6);
}

QPushButton* TopNavBar::addButton(const QString& text, const QIcon& icon, std::function<void()> action) {
    auto* button = new QPushButton(icon, text, this);
    button->setCheckable(true);
    button->setIconSize(QSize(18, 18));
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QPushButton::clicked, this, [action = std::move(action)] {
        if (action)
            action();
    });
    layout_->addWidget(button);
    buttons_.append(button);
    return button;
}

void TopNavBar::addTrailingWidget(QWidget* widget) {
    if (!stretchAdded_) {
        layout_->addStretch();
        stretchAdded_ = true;
    }
    layout_->addWidget(widget);
}

void TopNavBar::checkOnly(int index) {
    for (int i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setChecked(i == index);
}
