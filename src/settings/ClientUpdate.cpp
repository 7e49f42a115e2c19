#include "settings/ClientUpdate.h"

#include "releases/ChangelogDialog.h"
#include "releases/ReleaseManifests.h"
#include "settings/ClientUpdateRules.h"
#include "settings/SettingsTiming.h"
#include "shell/Shell.h"
#include "ui/Dialogs.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr char kLabelStyle[] = "QLabel { padding: 0 8px; color: #005fb8; font-size: 13px; }";
constexpr char kRefreshStyle[] = "QToolButton { border: none; border-radius: 4px; padding: 3px; } "
                                 "QToolButton:hover { background: #e8e8e8; }";
constexpr char kClientChangelogTitle[] = "客户端更新日志";

// A circular arrow in the navigation icons' line style.
QIcon refreshIcon() {
    QPixmap pixmap(36, 36);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(QStringLiteral("#4a4a4a")), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    const QRectF arc(8, 8, 20, 20);
    painter.drawArc(arc, 60 * 16, 280 * 16);
    // Arrow head at the arc's open end (top right).
    const QPointF tip(23, 9.5);
    painter.drawLine(tip, tip + QPointF(-5, -2));
    painter.drawLine(tip, tip + QPointF(-1.5, 5));
    return QIcon(pixmap);
}

} // namespace

ClientUpdate::ClientUpdate(shell::Shell& shell)
    : shell_(shell), applicationDirectory_(QCoreApplication::applicationDirPath()),
      quit_([] { QCoreApplication::quit(); }) {
}

void ClientUpdate::installInTopBar() {
    auto* box = new QWidget;
    box->setObjectName(QStringLiteral("versionBox"));
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    label_ = new QLabel(box);
    label_->setObjectName(QStringLiteral("versionLabel"));
    label_->setTextFormat(Qt::RichText);
    label_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    label_->setOpenExternalLinks(false);
    label_->setCursor(Qt::PointingHandCursor);
    label_->setStyleSheet(QString::fromLatin1(kLabelStyle));
    label_->setText(clientupdate::versionLabelText(QString()));
    QObject::connect(label_, &QLabel::linkActivated, label_,
                     [this](const QString&) { showClientChangelog(); });

    refreshButton_ = new QToolButton(box);
    refreshButton_->setObjectName(QStringLiteral("versionRefreshButton"));
    refreshButton_->setAutoRaise(true);
    refreshButton_->setFixedSize(26, 26);
    refreshButton_->setIcon(refreshIcon());
    refreshButton_->setToolTip(QStringLiteral("刷新版本信息"));
    refreshButton_->setStyleSheet(QString::fromLatin1(kRefreshStyle));
    QObject::connect(refreshButton_, &QToolButton::clicked, refreshButton_, [this] { refreshVersionInfo(); });

    layout->addWidget(label_);
    layout->addWidget(refreshButton_);
    shell_.addToTopBar(box);
    QTimer::singleShot(settings::timing.versionCheckDelayMs, label_, [this] { fetchClientManifest(); });
}

bool ClientUpdate::fetchClientManifest() {
    if (!shell_.manifests().fetchClientManifest())
        return false;
    updateLabel();
    return true;
}

void ClientUpdate::updateLabel() {
    if (label_)
        label_->setText(clientupdate::versionLabelText(shell_.manifests().clientVersion()));
}

void ClientUpdate::refreshVersionInfo() {
    shell_.setStatusText(QStringLiteral("正在刷新版本信息..."));
    fetchClientManifest();
    shell_.manifests().fetchAgentManifest();
    shell_.setStatusText(clientupdate::versionRefreshedText(shell_.manifests().clientVersion(),
                                                            shell_.manifests().agentVersion()));
}

void ClientUpdate::showClientChangelog() {
    if (!shell_.manifests().hasClientManifest())
        fetchClientManifest();
    if (!shell_.manifests().hasClientManifest()) {
        ui::information(shell_.dialogParent(), clientupdate::currentVersionText());
        return;
    }
    // The server offers this very version: there is nothing to update to.
    if (!clientupdate::updateAvailable(shell_.manifests().clientVersion())) {
        ui::information(shell_.dialogParent(),
                        QStringLiteral("已是最新版本。") + clientupdate::currentVersionText());
        return;
    }
    const QJsonObject changelog =
        shell_.manifests().clientManifest().value(QLatin1String("changelog")).toObject();
    const releases::Changelog parsed =
        releases::parseChangelog(changelog, QString::fromUtf8(kClientChangelogTitle));
    if (confirmChangelog(shell_.dialogParent(), parsed))
        startUpdater();
}

bool ClientUpdate::startUpdater() {
    const QString program = clientupdate::updaterProgramPath(applicationDirectory_);
    if (!QFileInfo(program).isFile()) {
        ui::warning(shell_.dialogParent(), QStringLiteral("没有找到更新器: ") + program);
        return false;
    }
    const clientupdate::UpdaterLaunch launch = clientupdate::launchFor(
        applicationDirectory_, QCoreApplication::applicationFilePath(), QCoreApplication::applicationPid());
    if (!QProcess::startDetached(program, clientupdate::updaterArguments(launch), applicationDirectory_)) {
        ui::warning(shell_.dialogParent(), QStringLiteral("启动更新器失败。"));
        return false;
    }
    // The updater waits for this process to end before it replaces the files.
    if (quit_)
        quit_();
    return true;
}
