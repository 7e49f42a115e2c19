#include "settings/SettingsPage.h"

#include "account/NetworkProxyDialog.h"
#include "account/SignInRules.h"
#include "app/AppConstants.h"
#include "app/DataPaths.h"
#include "app/Settings.h"
#include "history/FleetHistory.h"
#include "history/NoticeSettings.h"
#include "model/SignInState.h"
#include "net/ApplicationProxy.h"
#include "net/RequestLayer.h"
#include "settings/ClientUpdate.h"
#include "settings/DataDirectoryRules.h"
#include "shell/Shell.h"
#include "ui/Dialogs.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr char kBrowserProfilesPath[] = "/api/browser/profiles";

QLabel* selectableLabel(const QString& text = QString()) {
    auto* label = new QLabel(text);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

} // namespace

SettingsPage::SettingsPage(shell::Shell& shell, QWidget* parent)
    : QWidget(parent), shell_(shell), clientUpdate_(std::make_unique<ClientUpdate>(shell)) {
    setObjectName(QStringLiteral("settingsPage"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildNetworkGroup());
    layout->addWidget(buildStorageGroup());
    layout->addWidget(buildAccountGroup());
    layout->addWidget(buildNoticeGroup());
    layout->addStretch(1);
    refreshUsage();
}

SettingsPage::~SettingsPage() = default;

QWidget* SettingsPage::buildNetworkGroup() {
    auto* group = new QGroupBox(QStringLiteral("本体联网"));
    auto* form = new QFormLayout(group);
    networkLabel_ = selectableLabel(net::proxySummary());
    networkLabel_->setObjectName(QStringLiteral("networkLabel"));
    form->addRow(QStringLiteral("当前设置"), networkLabel_);
    proxyButton_ = new QPushButton(QStringLiteral("代理设置"));
    proxyButton_->setObjectName(QStringLiteral("proxyButton"));
    connect(proxyButton_, &QPushButton::clicked, this, [this] { editNetworkProxy(); });
    auto* row = new QHBoxLayout;
    row->addWidget(proxyButton_);
    row->addStretch(1);
    form->addRow(QString(), row);
    return group;
}

QWidget* SettingsPage::buildStorageGroup() {
    auto* group = new QGroupBox(QStringLiteral("存储位置"));
    auto* form = new QFormLayout(group);
    migrateButton_ = new QPushButton(QStringLiteral("迁移数据目录"));
    migrateButton_->setObjectName(QStringLiteral("migrateButton"));
    openButton_ = new QPushButton(QStringLiteral("打开目录"));
    openButton_->setObjectName(QStringLiteral("openButton"));
    usageButton_ = new QPushButton(QStringLiteral("刷新占用"));
    usageButton_->setObjectName(QStringLiteral("usageButton"));
    connect(migrateButton_, &QPushButton::clicked, this, [this] { migrateDataDirectory(); });
    connect(openButton_, &QPushButton::clicked, this, [this] { openDataDirectory(); });
    connect(usageButton_, &QPushButton::clicked, this, [this] { refreshUsage(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(migrateButton_);
    buttons->addWidget(openButton_);
    buttons->addWidget(usageButton_);
    buttons->addStretch(1);
    form->addRow(buttons);
    directoryLabel_ = selectableLabel();
    directoryLabel_->setObjectName(QStringLiteral("directoryLabel"));
    usageLabel_ = new QLabel;
    usageLabel_->setObjectName(QStringLiteral("usageLabel"));
    form->addRow(QStringLiteral("当前目录"), directoryLabel_);
    form->addRow(QStringLiteral("占用空间"), usageLabel_);
    return group;
}

QWidget* SettingsPage::buildAccountGroup() {
    auto* group = new QGroupBox(QStringLiteral("账号"));
    auto* form = new QFormLayout(group);
    accountLabel_ = new QLabel(signInState().username);
    accountLabel_->setTextFormat(Qt::PlainText);
    accountLabel_->setObjectName(QStringLiteral("accountLabel"));
    apiLabel_ = new QLabel(app::cloudApiBaseUrl());
    apiLabel_->setObjectName(QStringLiteral("apiLabel"));
    form->addRow(QStringLiteral("当前账号"), accountLabel_);
    form->addRow(QStringLiteral("API 地址"), apiLabel_);

    autoSignInBox_ = new QCheckBox(QStringLiteral("自动登录"));
    autoSignInBox_->setObjectName(QStringLiteral("autoSignInBox"));
    autoSignInBox_->setChecked(settings::autoLogin());
    connect(autoSignInBox_, &QCheckBox::toggled, this,
            [](bool on) { account::setAutoSignIn(on, signInState().password); });
    signOutButton_ = new QPushButton(QStringLiteral("退出登录"));
    signOutButton_->setObjectName(QStringLiteral("signOutButton"));
    connect(signOutButton_, &QPushButton::clicked, this, [this] { signOut(); });
    auto* row = new QHBoxLayout;
    row->addWidget(autoSignInBox_);
    row->addStretch(1);
    row->addWidget(signOutButton_);
    form->addRow(QString(), row);
    return group;
}

void SettingsPage::refreshUsage() {
    const QString directory = app::dataDirectory();
    directoryLabel_->setText(directory);
    usageLabel_->setText(datadir::usageText(datadir::directoryUsage(directory)));
}

void SettingsPage::openDataDirectory() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(app::dataDirectory()));
}

void SettingsPage::editNetworkProxy() {
    NetworkProxyDialog dialog(this);
    ui::execDialog(dialog);
    // Whatever closed the dialog, the managers and the label follow what is stored now.
    shell_.applyNetworkProxy();
    networkLabel_->setText(net::proxySummary());
}

void SettingsPage::showStoredAutoSignIn() {
    const QSignalBlocker quiet(autoSignInBox_);
    autoSignInBox_->setChecked(settings::autoLogin());
}

void SettingsPage::signOut() {
    if (!ui::question(this, QStringLiteral("确定退出登录？保存的密码和自动登录将被清除，节点窗口会关闭。")))
        return;
    shell_.signOut();
}

QWidget* SettingsPage::buildNoticeGroup() {
    auto* group = new QGroupBox(QStringLiteral("通知"));
    group->setObjectName(QStringLiteral("noticeGroup"));
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(QStringLiteral("窗口不在前台时提醒：")));
    for (history::EventKind kind : history::allEventKinds()) {
        auto* box = new QCheckBox(history::eventKindLabel(kind));
        box->setObjectName(QStringLiteral("notice_") + history::kindName(kind));
        box->setChecked(history::noticeEnabled(kind));
        connect(box, &QCheckBox::toggled, this, [kind](bool on) { history::setNoticeEnabled(kind, on); });
        row->addWidget(box);
    }
    row->addStretch(1);
    return group;
}

void SettingsPage::migrateDataDirectory() {
    const QString current = app::dataDirectory();
    const QString chosen = ui::chooseDirectory(this, QStringLiteral("选择新的 Ondivo 数据目录"), current);
    if (chosen.isEmpty())
        return;
    const QString target = datadir::cleanAbsolute(chosen);
    if (datadir::sameDirectory(target, current))
        return;
    // Copying into a directory below the one being copied would walk its own copies without end.
    if (datadir::isInside(target, current)) {
        ui::warning(this, QStringLiteral("迁移失败: 新目录不能位于当前数据目录之内"));
        return;
    }
    if (!ui::question(this, datadir::migrationQuestion(target)))
        return;

    shell_.setBusy(QStringLiteral("正在迁移数据目录..."), true);
    // The history file is closed while it is copied, so the copy is whole; it opens again where the
    // data now lives (or where it stayed, when the copy failed).
    history::FleetHistory* fleet = shell_.fleetHistory();
    if (fleet)
        fleet->suspend();
    const datadir::MigrationResult result = datadir::copyDataDirectory(current, target);
    if (fleet)
        fleet->resume(result.ok ? target : current);
    shell_.setBusy(QStringLiteral("数据目录迁移完成"), false);

    if (!result.ok) {
        ui::warning(this, QStringLiteral("迁移失败: ") + result.error);
        return;
    }
    settings::writeText(settings::key::dataDir, target);
    refreshUsage();
    reloadBrowserProfiles();
    ui::information(this, QStringLiteral("数据目录已迁移。旧目录已保留为备份，可确认无误后手动清理。"));
}

bool SettingsPage::reloadBrowserProfiles() {
    int status = 0;
    const QJsonObject reply = net::cloudRequest(
        QStringLiteral("GET"), QString::fromLatin1(kBrowserProfilesPath), QJsonObject(), true, &status);
    if (status < 200 || status > 299) {
        app::appendLog(QStringLiteral("browser profiles reload failed: ") +
                       net::describeFailure(reply, status));
        return false;
    }
    browserProfiles_ = reply.value(QLatin1String("profiles")).toArray();
    return true;
}
