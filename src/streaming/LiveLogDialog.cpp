#include "streaming/LiveLogDialog.h"

#include "app/UiText.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QPlainTextEdit* logView(const QStringList& lines) {
    auto* view = new QPlainTextEdit;
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setPlainText(lines.join(QLatin1Char('\n')));
    return view;
}

} // namespace

LiveLogDialog::LiveLogDialog(const QString& roomName, const QStringList& eventLines,
                             const QStringList& ffmpegLines, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(app::uiText(QStringLiteral("live.logs.titlePrefix")) + roomName);
    resize(760, 460);
    tabs_ = new QTabWidget;
    eventView_ = logView(eventLines);
    ffmpegView_ = logView(ffmpegLines);
    tabs_->addTab(eventView_, app::uiText(QStringLiteral("live.logs.events")));
    tabs_->addTab(ffmpegView_, app::uiText(QStringLiteral("live.logs.ffmpeg")));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
}
