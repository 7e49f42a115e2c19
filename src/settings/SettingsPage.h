#pragma once

#include <QJsonArray>
#include <QWidget>
#include <memory>

namespace shell {
class Shell;
} // namespace shell
class ClientUpdate;
class QCheckBox;
class QLabel;
class QPushButton;

// The settings page: the client's network setting, the data directory with its usage and migration,
// and the signed-in account. It also owns the version label of the window's top bar.
class SettingsPage : public QWidget {
public:
    explicit SettingsPage(shell::Shell& shell, QWidget* parent = nullptr);
    ~SettingsPage() override;

    void refreshUsage();
    void migrateDataDirectory();
    void openDataDirectory();
    // Runs the network proxy dialog, then hands the (possibly changed) setting to the access managers.
    void editNetworkProxy();
    // Asks, then ends the session through the shell (the client shows the sign-in dialog again).
    void signOut();
    // The "自动登录" box follows the stored setting (it may have changed at the last sign-in).
    void showStoredAutoSignIn();

    ClientUpdate& clientUpdate() const { return *clientUpdate_; }
    // The browser-profile list as last loaded from the Cloud API.
    const QJsonArray& browserProfiles() const { return browserProfiles_; }

private:
    QWidget* buildNetworkGroup();
    QWidget* buildStorageGroup();
    QWidget* buildAccountGroup();
    // One switch per kind of event: whether it becomes a tray notice.
    QWidget* buildNoticeGroup();
    // True when the list arrived; a failure keeps the previous list.
    bool reloadBrowserProfiles();

    shell::Shell& shell_;
    std::unique_ptr<ClientUpdate> clientUpdate_;
    QJsonArray browserProfiles_;
    QLabel* networkLabel_ = nullptr;
    QLabel* directoryLabel_ = nullptr;
    QLabel* usageLabel_ = nullptr;
    QLabel* accountLabel_ = nullptr;
    QLabel* apiLabel_ = nullptr;
    QPushButton* proxyButton_ = nullptr;
    QPushButton* migrateButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QPushButton* usageButton_ = nullptr;
    QCheckBox* autoSignInBox_ = nullptr;
    QPushButton* signOutButton_ = nullptr;
};
