#pragma once

#include "updater/PackageDownload.h"
#include "updater/UpdaterOptions.h"

#include <QJsonObject>
#include <QString>
#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace updater {

// How the pipeline reaches its window: the window reports and logs progress, shows its close button
// after a failure and quits the program after success.
struct PipelineHooks {
    ProgressReport setProgress;
    std::function<int()> currentPermille;
    std::function<void()> showCloseButton;
    std::function<void()> scheduleQuit;
    // After a failure: what became of the installed client (shown on the card), and whether the old
    // client can be started from there (it is installed and not running).
    std::function<void(const QString& outcome, bool offerStart)> reportOutcome;
};

// What a failed update did to the installation.
enum class TargetState {
    Untouched, // the failure came before installing: the old files were never touched
    Restored,  // installing failed and the old files were put back
    Replaced,  // the new files are in place (or the old ones could not be put back)
};
// The card's line for it: that the old version is there and usable, or empty when it is not.
QString outcomeText(TargetState state);

// The manifest members the pipeline uses.
struct ReleaseManifest {
    QString version;
    QString url;
    QString sha256;  // normalised; empty skips the check
    qint64 size = 0; // below 1: unknown
    QString packageName;
};

// Reads the members; throws UpdateFailure when version or url is missing or when version or
// packageName would name a path outside the work directory.
ReleaseManifest readManifest(const QJsonObject& manifest);

// One update run of the runner copy: manifest, wait for the client, download, verify, extract,
// back up, install (with rollback), start the client.
class UpdatePipeline {
public:
    UpdatePipeline(UpdaterOptions options, PipelineHooks hooks);
    ~UpdatePipeline();

    // True when the new client was installed and started; otherwise failUpdate has reported why.
    bool runUpdate();

    QJsonObject fetchManifest(const QString& url);
    QString downloadPackage(const QString& url, const QString& packagePath, qint64 expectedSize);
    // The failure routine: "更新失败" with the message, the close button, the "ERROR " log line. Steps
    // abandon the run by throwing UpdateFailure, which runUpdate catches and hands to this.
    void failUpdate(const QString& message);

    QString lastFailure() const { return lastFailure_; }

private:
    void runSteps();
    void waitForClientExit();
    void verifyPackage(const QString& packagePath, const QString& expectedDigest);
    void extractPackage(const QString& packagePath, const QString& extractDirectory);
    void checkTarget();
    void backUp(const QString& backupDirectory);
    void clearReplacedFolder();
    void install(const QString& extractDirectory, const QString& backupDirectory);
    void rollBack(const QString& backupDirectory);
    void startClient();
    // Removes packages and unpacked files and keeps only the last complete backup.
    void cleanWorkDirectory();
    void reportOutcome();

    UpdaterOptions options_;
    PipelineHooks hooks_;
    std::unique_ptr<QNetworkAccessManager> manager_;
    QString lastFailure_;
    TargetState targetState_ = TargetState::Untouched;
    bool clientStillRunning_ = false;
    QString startedBackup_;   // the backup this run began writing
    QString completedBackup_; // ... once it was written whole
};

} // namespace updater
