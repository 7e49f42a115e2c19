#pragma once

#include <QString>
#include <functional>

namespace shell {
class Shell;
}
class QLabel;
class QToolButton;

// The version label in the window's top bar and the hand-over of the client to the updater: the
// client manifest fetch, the version refresh, the client change log and the updater start.
class ClientUpdate {
public:
    explicit ClientUpdate(shell::Shell& shell);

    // Puts the version label and its refresh button at the end of the top bar and schedules the first
    // client manifest fetch.
    void installInTopBar();

    // Fetches the client manifest; when a new one is kept, the label is rewritten. True when kept.
    bool fetchClientManifest();
    void refreshVersionInfo();
    void showClientChangelog();
    // True when the updater was started (the client's event loop is then told to quit).
    bool startUpdater();

    QLabel* versionLabel() const { return label_; }
    QToolButton* refreshButton() const { return refreshButton_; }

    // The directory the updater is looked for in and handed as target; the client's own by default.
    void setApplicationDirectory(const QString& directory) { applicationDirectory_ = directory; }
    QString applicationDirectory() const { return applicationDirectory_; }
    // What ends the client once the updater runs; quitting the event loop by default.
    void setQuitAction(std::function<void()> quit) { quit_ = std::move(quit); }

private:
    void updateLabel();

    shell::Shell& shell_;
    QLabel* label_ = nullptr;
    QToolButton* refreshButton_ = nullptr;
    QString applicationDirectory_;
    std::function<void()> quit_;
};
