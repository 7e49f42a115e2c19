#pragma once

#include "model/Node.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace files {
class AudioUploadBatch;
class UploadClock;
class UploadTransport;
class VideoUploadScheduler;
struct ProgressFigures;
} // namespace files

// Uploads media to one Node in resumable chunks: one video file, or (audio mode) a batch of audio files
// into an audio folder, whose folders it also lists, creates and deletes.
class VideoUploadPane : public QWidget {
public:
    VideoUploadPane(const Node& node, bool audioMode, QWidget* parent = nullptr);
    // With the engine's seams given (tests).
    VideoUploadPane(const Node& node, bool audioMode, std::shared_ptr<files::UploadTransport> transport,
                    std::shared_ptr<files::UploadClock> clock, QWidget* parent = nullptr);
    ~VideoUploadPane() override;

    bool audioMode() const { return audioMode_; }
    // An upload the Agent holds a session for is running, paused or waiting to be resumed.
    bool uploadActive() const;
    // Called with uploadActive() whenever it may have changed.
    void setActivityListener(std::function<void(bool)> listener) { activityListener_ = std::move(listener); }
    // Before the pane goes away: asks whether to give up an active upload; Yes cancels it on the Agent.
    bool confirmClose();

    void chooseVideo();
    void chooseAudioFiles();
    void chooseAudioDirectory();
    void startUpload();
    void pauseUpload();
    void resumeUpload();
    void cancelUpload();
    void reloadFolders();
    void createFolder();
    void deleteFolder();

    QLineEdit* pathField() const { return pathEdit_; }
    QLineEdit* nameField() const { return nameEdit_; }
    QComboBox* folderCombo() const { return folderCombo_; }
    QPushButton* startButton() const { return startButton_; }
    QPushButton* pauseButton() const { return pauseButton_; }
    QPushButton* resumeButton() const { return resumeButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QLabel* statusLabel() const { return statusValue_; }
    QLabel* chunksLabel() const { return chunksValue_; }
    QLabel* sizeLabel() const { return sizeValue_; }
    QProgressBar* progressBar() const { return progress_; }
    QPlainTextEdit* logView() const { return log_; }

private:
    void buildLayout();
    QWidget* buildFileGroup();
    QWidget* buildStatusGroup();
    void connectEngine();
    void applyVideoSelection(const QString& path);
    void applyAudioSelection(const QStringList& chosen);
    void refresh();
    void showFigures(const files::ProgressFigures& figures);
    void updateButtons();
    void appendLog(const QString& text);

    Node node_;
    bool audioMode_;
    std::shared_ptr<files::UploadTransport> transport_;
    std::shared_ptr<files::UploadClock> clock_;
    std::shared_ptr<files::VideoUploadScheduler> video_;
    std::shared_ptr<files::AudioUploadBatch> audio_;
    std::function<void(bool)> activityListener_;
    bool lastActive_ = false;
    QString videoPath_;
    QStringList selectedFiles_;

    QLineEdit* pathEdit_ = nullptr;
    QLineEdit* nameEdit_ = nullptr;
    QCheckBox* overwriteCheck_ = nullptr;
    QComboBox* folderCombo_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* resumeButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* statusValue_ = nullptr;
    QLabel* sizeValue_ = nullptr;
    QLabel* currentRateValue_ = nullptr;
    QLabel* averageRateValue_ = nullptr;
    QLabel* etaValue_ = nullptr;
    QLabel* chunksValue_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
};
