#include "updater/UpdaterWindow.h"

#include "updater/ProgressStatus.h"
#include "updater/UpdateLog.h"
#include "updater/UpdaterTiming.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace updater {

QString UpdaterWindow::windowStyleSheet() {
    return QStringLiteral(
        "QWidget#updaterRoot { background: #f4f6f8; color: #202124; font-family: 'Segoe UI', 'Microsoft "
        "YaHei UI'; }"
        "QFrame#card { background: #ffffff; border: 1px solid #d9dee5; border-radius: 8px; }"
        "QLabel#brandLabel { color: #5f6368; font-size: 12px; font-weight: 600; }"
        "QLabel#titleLabel { color: #1f2328; font-size: 18px; font-weight: 600; }"
        "QLabel#detailLabel { color: #5f6368; font-size: 12px; }"
        "QLabel#statusLabel { background: #eaf2ff; color: #0b57d0; border-radius: 10px; padding: 3px 10px; "
        "font-size: 12px; }"
        "QLabel#percentLabel { color: #1f2328; font-size: 13px; font-weight: 600; }"
        "QProgressBar { border: 1px solid #d9dee5; border-radius: 4px; background: #eef1f5; height: 10px; "
        "text-align: center; }"
        "QProgressBar::chunk { background: #2563eb; border-radius: 4px; }"
        "QPushButton { min-width: 88px; min-height: 30px; border: 1px solid #c9d1dc; border-radius: 5px; "
        "background: #ffffff; color: #1f2328; }"
        "QPushButton:hover { background: #f2f5f9; }"
        "QPushButton:pressed { background: #e8edf4; }");
}

UpdaterWindow::UpdaterWindow(const UpdaterOptions& options, QWidget* parent)
    : QWidget(parent), options_(options), quitAction_([] { QCoreApplication::quit(); }) {
    setWindowTitle(QString::fromUtf8(kBoxTitle));
    resize(560, 300);
    setMinimumSize(520, 280);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setObjectName(QStringLiteral("updaterRoot"));
    // The root is a plain QWidget: without this its background rule would not be painted.
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(windowStyleSheet());
    buildLayout();
    pipeline_ = std::make_unique<UpdatePipeline>(options_, pipelineHooks());
}

UpdaterWindow::~UpdaterWindow() = default;

void UpdaterWindow::buildLayout() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(18, 18, 18, 18);
    outer->setSpacing(0);
    auto* card = new QFrame(this);
    card->setObjectName(QStringLiteral("card"));
    outer->addWidget(card);

    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(22, 20, 22, 18);
    layout->setSpacing(12);

    auto* headRow = new QHBoxLayout;
    auto* brand = new QLabel(QStringLiteral("ONDIVO UPDATER"), card);
    brand->setObjectName(QStringLiteral("brandLabel"));
    statusLabel_ = new QLabel(QStringLiteral("准备中"), card);
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    // A badge: it keeps its height when the hidden close button leaves spare room in the card.
    statusLabel_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    headRow->addWidget(brand);
    headRow->addStretch();
    headRow->addWidget(statusLabel_);
    layout->addLayout(headRow);

    titleLabel_ = new QLabel(QStringLiteral("正在准备更新..."), card);
    titleLabel_->setObjectName(QStringLiteral("titleLabel"));
    titleLabel_->setWordWrap(true);
    layout->addWidget(titleLabel_);

    detailLabel_ = new QLabel(QStringLiteral("请稍候，Ondivo 正在准备更新环境。"), card);
    detailLabel_->setObjectName(QStringLiteral("detailLabel"));
    detailLabel_->setWordWrap(true);
    layout->addWidget(detailLabel_);

    auto* stepRow = new QHBoxLayout;
    stepLabel_ = new QLabel(QStringLiteral("当前进度"), card);
    stepLabel_->setObjectName(QStringLiteral("detailLabel"));
    percentLabel_ = new QLabel(QStringLiteral("0%"), card);
    percentLabel_->setObjectName(QStringLiteral("percentLabel"));
    stepRow->addWidget(stepLabel_);
    stepRow->addStretch();
    stepRow->addWidget(percentLabel_);
    layout->addLayout(stepRow);

    progressBar_ = new QProgressBar(card);
    progressBar_->setRange(0, 1000);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    layout->addWidget(progressBar_);

    layout->addSpacing(4);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    closeButton_ = new QPushButton(QStringLiteral("关闭"), card);
    closeButton_->hide();
    QObject::connect(closeButton_, &QPushButton::clicked, this, [this] { close(); });
    buttonRow->addWidget(closeButton_);
    layout->addLayout(buttonRow);

    // Titles and details carry manifest members and server replies: plain text only.
    for (QLabel* label : card->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
}

PipelineHooks UpdaterWindow::pipelineHooks() {
    PipelineHooks hooks;
    hooks.setProgress = [this](const QString& title, const QString& detail, int permille) {
        setProgress(title, detail, permille);
    };
    hooks.currentPermille = [this] {
        return progressBar_->value();
    };
    hooks.showCloseButton = [this] {
        closeButton_->show();
    };
    hooks.scheduleQuit = [this] {
        QTimer::singleShot(timing.quitDelayMs, this, [this] {
            if (quitAction_)
                quitAction_();
        });
    };
    return hooks;
}

void UpdaterWindow::setProgress(const QString& title, const QString& detail, int permille) {
    titleLabel_->setText(title);
    detailLabel_->setText(detail);
    stepLabel_->setText(title);
    const ProgressView view = progressView(title, permille);
    progressBar_->setValue(view.value);
    percentLabel_->setText(view.percentText);
    statusLabel_->setText(view.statusText);
    statusLabel_->setStyleSheet(view.statusStyle);
    appendUpdateLog(options_.logPath, title + QLatin1Char(' ') + detail);
    QCoreApplication::processEvents();
}

bool UpdaterWindow::runUpdate() {
    return pipeline_->runUpdate();
}

QString UpdaterWindow::titleText() const {
    return titleLabel_->text();
}
QString UpdaterWindow::detailText() const {
    return detailLabel_->text();
}
QString UpdaterWindow::stepText() const {
    return stepLabel_->text();
}
QString UpdaterWindow::percentText() const {
    return percentLabel_->text();
}
QString UpdaterWindow::statusText() const {
    return statusLabel_->text();
}
QString UpdaterWindow::statusStyleSheet() const {
    return statusLabel_->styleSheet();
}
int UpdaterWindow::progressValue() const {
    return progressBar_->value();
}
bool UpdaterWindow::closeButtonVisible() const {
    return !closeButton_->isHidden();
}

} // namespace updater
