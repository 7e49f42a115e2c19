#pragma once

#include "updater/UpdatePipeline.h"
#include "updater/UpdaterOptions.h"

#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace updater {

// The runner's progress window. It presents what the pipeline reports and writes each report to the
// log; the update itself lives in UpdatePipeline.
class UpdaterWindow : public QWidget {
public:
    explicit UpdaterWindow(const UpdaterOptions& options, QWidget* parent = nullptr);
    ~UpdaterWindow() override;

    // The one way the pipeline reports: labels, bar, status badge, a log line, one round of events.
    void setProgress(const QString& title, const QString& detail, int permille);

    // Runs the pipeline once (the runner starts it shortly after showing the window).
    bool runUpdate();

    // What runs 800 ms after success; the application quits unless a test replaces it.
    void setQuitAction(std::function<void()> action) { quitAction_ = std::move(action); }

    const UpdaterOptions& options() const { return options_; }
    QString titleText() const;
    QString detailText() const;
    QString stepText() const;
    QString percentText() const;
    QString statusText() const;
    QString statusStyleSheet() const;
    int progressValue() const;
    bool closeButtonVisible() const;
    QPushButton* closeButton() const { return closeButton_; }
    // After a failure: what became of the installation, and the button that starts the old client
    // (shown, and the default, only when it can be started).
    QString outcomeText() const;
    QPushButton* startClientButton() const { return startClientButton_; }

    static QString windowStyleSheet();

private:
    void buildLayout();
    PipelineHooks pipelineHooks();
    void startOldClient();

    UpdaterOptions options_;
    QLabel* statusLabel_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* detailLabel_ = nullptr;
    QLabel* stepLabel_ = nullptr;
    QLabel* percentLabel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QLabel* outcomeLabel_ = nullptr;
    QPushButton* startClientButton_ = nullptr;
    std::unique_ptr<UpdatePipeline> pipeline_;
    std::function<void()> quitAction_;
};

} // namespace updater
