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
};

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

    UpdaterOptions options_;
    PipelineHooks hooks_;
    std::unique_ptr<QNetworkAccessManager> manager_;
    QString lastFailure_;
};

} // namespace updater
