#include "files/VideoUploadPane.h"

#include "app/TextFormats.h"
#include "files/AgentUploadTransport.h"
#include "files/AudioUploadBatch.h"
#include "files/UploadRules.h"
#include "files/VideoUploadScheduler.h"
#include "ui/Dialogs.h"
#include "ui/TimestampedView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace files;

namespace {

constexpr int kProgressMaximum = 10000;

QLabel* plainLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Asks for a folder name; empty when the dialog was cancelled.
QString askFolderName(QWidget* parent, const QString& suggestion) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("新建音频目录"));
    auto* layout = new QFormLayout(&dialog);
    auto* edit = new QLineEdit(suggestion, &dialog);
    edit->setObjectName(QStringLiteral("folderNameEdit"));
    layout->addRow(QStringLiteral("目录名"), edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    return ui::execDialog(dialog) == QDialog::Accepted ? edit->text().trimmed() : QString();
}

} // namespace

VideoUploadPane::VideoUploadPane(const Node& node, bool audioMode, QWidget* parent)
    : VideoUploadPane(node, audioMode, std::make_shared<AgentUploadTransport>(node),
                      std::make_shared<SystemUploadClock>(), parent) {
}

VideoUploadPane::VideoUploadPane(const Node& node, bool audioMode, std::shared_ptr<UploadTransport> transport,
                                 std::shared_ptr<UploadClock> clock, QWidget* parent)
    : QWidget(parent), node_(node), audioMode_(audioMode), transport_(std::move(transport)),
      clock_(std::move(clock)) {
    if (audioMode_)
        audio_ = std::make_shared<AudioUploadBatch>(transport_, clock_);
    else
        video_ = std::make_shared<VideoUploadScheduler>(transport_, clock_);
    buildLayout();
    connectEngine();
    updateButtons();
    if (audioMode_)
        reloadFolders();
}

VideoUploadPane::~VideoUploadPane() {
    // The engine may outlive the pane inside a blocking request; from now on it reports to nobody and
    // gives up its session on the Agent.
    if (video_)
        video_->detach();
    if (audio_)
        audio_->detach();
}

void VideoUploadPane::buildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildFileGroup());
    auto* buttons = new QHBoxLayout;
    startButton_ = new QPushButton(QStringLiteral("开始上传"));
    pauseButton_ = new QPushButton(QStringLiteral("暂停"));
    resumeButton_ = new QPushButton(QStringLiteral("继续"));
    cancelButton_ = new QPushButton(QStringLiteral("取消"));
    for (QPushButton* button : {startButton_, pauseButton_, resumeButton_, cancelButton_})
        buttons->addWidget(button);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    progress_ = new QProgressBar;
    progress_->setRange(0, kProgressMaximum);
    progress_->setValue(0);
    layout->addWidget(progress_);
    layout->addWidget(buildStatusGroup());
    log_ = new QPlainTextEdit;
    log_->setReadOnly(true);
    log_->setMinimumHeight(150);
    layout->addWidget(log_, 1);

    connect(startButton_, &QPushButton::clicked, this, [this] { startUpload(); });
    connect(pauseButton_, &QPushButton::clicked, this, [this] { pauseUpload(); });
    connect(resumeButton_, &QPushButton::clicked, this, [this] { resumeUpload(); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { cancelUpload(); });
}

QWidget* VideoUploadPane::buildFileGroup() {
    auto* group = new QGroupBox(audioMode_ ? QStringLiteral("音频文件") : QStringLiteral("视频文件"));
    auto* grid = new QGridLayout(group);
    pathEdit_ = new QLineEdit;
    pathEdit_->setReadOnly(true);
    grid->addWidget(new QLabel(QStringLiteral("本地文件")), 0, 0);
    grid->addWidget(pathEdit_, 0, 1);
    auto* chooseRow = new QHBoxLayout;
    if (audioMode_) {
        auto* filesButton = new QPushButton(QStringLiteral("选择音频文件"));
        auto* dirButton = new QPushButton(QStringLiteral("选择目录"));
        connect(filesButton, &QPushButton::clicked, this, [this] { chooseAudioFiles(); });
        connect(dirButton, &QPushButton::clicked, this, [this] { chooseAudioDirectory(); });
        chooseRow->addWidget(filesButton);
        chooseRow->addWidget(dirButton);
    } else {
        auto* videoButton = new QPushButton(QStringLiteral("选择视频"));
        connect(videoButton, &QPushButton::clicked, this, [this] { chooseVideo(); });
        chooseRow->addWidget(videoButton);
    }
    grid->addLayout(chooseRow, 0, 2);

    nameEdit_ = new QLineEdit;
    overwriteCheck_ = new QCheckBox(QStringLiteral("覆盖已有文件"));
    if (audioMode_) {
        nameEdit_->setReadOnly(true);
        nameEdit_->hide();
        grid->addWidget(new QLabel(QStringLiteral("上传选项")), 1, 0);
        grid->addWidget(overwriteCheck_, 1, 1);
        folderCombo_ = new QComboBox;
        folderCombo_->setEditable(true);
        grid->addWidget(new QLabel(QStringLiteral("音频目录")), 2, 0);
        grid->addWidget(folderCombo_, 2, 1);
        auto* folderButtons = new QHBoxLayout;
        const std::pair<const char*, void (VideoUploadPane::*)()> actions[] = {
            {"刷新目录", &VideoUploadPane::reloadFolders},
            {"新建目录", &VideoUploadPane::createFolder},
            {"删除目录", &VideoUploadPane::deleteFolder}};
        for (const auto& [text, action] : actions) {
            auto* button = new QPushButton(QString::fromUtf8(text));
            connect(button, &QPushButton::clicked, this, [this, action = action] { (this->*action)(); });
            folderButtons->addWidget(button);
        }
        grid->addLayout(folderButtons, 2, 2);
    } else {
        grid->addWidget(new QLabel(QStringLiteral("文件名")), 1, 0);
        grid->addWidget(nameEdit_, 1, 1);
        grid->addWidget(overwriteCheck_, 1, 2);
    }
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* VideoUploadPane::buildStatusGroup() {
    auto* group = new QGroupBox(QStringLiteral("上传状态"));
    auto* form = new QFormLayout(group);
    statusValue_ = plainLabel(QStringLiteral("未开始"));
    sizeValue_ = plainLabel(QStringLiteral("-"));
    currentRateValue_ = plainLabel(QStringLiteral("-"));
    averageRateValue_ = plainLabel(QStringLiteral("-"));
    etaValue_ = plainLabel(QStringLiteral("-"));
    chunksValue_ = plainLabel(QStringLiteral("-"));
    form->addRow(QStringLiteral("状态"), statusValue_);
    form->addRow(QStringLiteral("大小"), sizeValue_);
    form->addRow(QStringLiteral("当前速度"), currentRateValue_);
    form->addRow(QStringLiteral("平均速度"), averageRateValue_);
    form->addRow(QStringLiteral("预计剩余"), etaValue_);
    form->addRow(QStringLiteral("分片"), chunksValue_);
    return group;
}

void VideoUploadPane::connectEngine() {
    UploadEvents events;
    events.changed = [this] {
        refresh();
    };
    events.log = [this](const QString& text) {
        appendLog(text);
    };
    events.failed = [this](const QString& text) {
        ui::warning(this, text);
    };
    events.batchFinished = [this](int succeeded, int failed) {
        chunksValue_->setText(QStringLiteral("%1 / %2").arg(succeeded).arg(audio_->taskCount()));
        if (failed > 0)
            ui::warning(this, QStringLiteral("音频上传完成：成功 %1，失败 %2").arg(succeeded).arg(failed));
        reloadFolders();
    };
    if (video_)
        video_->setEvents(events);
    else
        audio_->setEvents(events);
}

bool VideoUploadPane::uploadActive() const {
    return video_ ? video_->busy() || video_->canResume() : audio_->batchRunning();
}

bool VideoUploadPane::confirmClose() {
    if (!uploadActive())
        return true;
    if (video_ && video_->finishing()) {
        ui::information(this, QStringLiteral("正在等待 Agent 校验文件，请稍候再关闭。"));
        return false;
    }
    if (!ui::question(this,
                      QStringLiteral("上传尚未完成，关闭将取消上传并删除节点上已上传的部分。确定关闭吗？")))
        return false;
    cancelUpload();
    return true;
}

void VideoUploadPane::chooseVideo() {
    const QString path =
        ui::chooseOpenFile(this, QStringLiteral("选择视频文件"), QString(), videoFileFilter());
    if (!path.isEmpty())
        applyVideoSelection(path);
}

void VideoUploadPane::applyVideoSelection(const QString& path) {
    if (!isVideoFile(path)) {
        ui::warning(this, QStringLiteral("只允许上传视频文件。"));
        return;
    }
    // A failed or paused upload of the previous file cannot continue with this one.
    if (video_->canResume() &&
        QFileInfo(path).absoluteFilePath() != QFileInfo(video_->localPath()).absoluteFilePath()) {
        video_->endSession();
        appendLog(QStringLiteral("已选择其他文件，之前未完成的上传任务已结束"));
    }
    videoPath_ = path;
    pathEdit_->setText(QDir::toNativeSeparators(path));
    nameEdit_->setText(QFileInfo(path).fileName());
    sizeValue_->setText(fmt::clientBytes(double(QFileInfo(path).size())));
    appendLog(QStringLiteral("已选择: ") + QFileInfo(path).fileName());
    updateButtons();
}

void VideoUploadPane::chooseAudioFiles() {
    applyAudioSelection(
        ui::chooseOpenFiles(this, QStringLiteral("选择音频文件"), QString(), audioFileFilter()));
}

void VideoUploadPane::chooseAudioDirectory() {
    const QString dir = ui::chooseDirectory(this, QStringLiteral("选择音频目录"), QString());
    applyAudioSelection(dir.isEmpty() ? QStringList() : QStringList{dir});
}

void VideoUploadPane::applyAudioSelection(const QStringList& chosen) {
    int skipped = 0;
    const QStringList kept = collectAudioFiles(chosen, &skipped);
    if (kept.isEmpty()) {
        ui::warning(this, skipped == 0 ? QStringLiteral("请先选择音频文件。")
                                       : QStringLiteral("没有可用的音频文件。"));
        return;
    }
    selectedFiles_ = kept;
    nameEdit_->setText(QFileInfo(kept.first()).fileName());
    sizeValue_->setText(fmt::clientBytes(double(QFileInfo(kept.first()).size())));
    chunksValue_->setText(QStringLiteral("%1 / %2").arg(1).arg(kept.size()));
    const QString text = QStringLiteral("已选择 %1 个音频文件").arg(kept.size());
    pathEdit_->setText(text);
    appendLog(text);
    if (skipped > 0)
        appendLog(QStringLiteral("已跳过 %1 个非音频或无效文件").arg(skipped));
}

void VideoUploadPane::startUpload() {
    if (audioMode_) {
        if (!audio_->canStart())
            return;
        if (selectedFiles_.isEmpty())
            return ui::information(this, QStringLiteral("请先选择音频文件。"));
        const QString folder = folderCombo_->currentText().trimmed();
        if (folder.isEmpty())
            return ui::warning(this, QStringLiteral("请选择或新建音频目录。"));
        log_->clear();
        progress_->setValue(0);
        if (audio_->start(selectedFiles_, folder, overwriteCheck_->isChecked()) == 0)
            ui::warning(this, QStringLiteral("没有可用的音频文件。"));
        refresh();
        return;
    }
    if (!video_->canStart())
        return;
    if (videoPath_.isEmpty())
        return ui::information(this, QStringLiteral("请先选择视频文件。"));
    if (!isVideoFile(videoPath_))
        return ui::warning(this, QStringLiteral("只允许上传视频文件。"));
    const QString name =
        normalisedUploadName(QString(nameEdit_->text()).replace(QLatin1Char('\\'), QLatin1Char('/')));
    nameEdit_->setText(name);
    if (name.isEmpty())
        return ui::warning(this, QStringLiteral("请填写文件名。"));
    const QFileInfo info(videoPath_);
    if (!info.exists() || !info.isFile() || info.size() <= 0)
        return ui::warning(this, QStringLiteral("本地视频文件无效。"));
    progress_->setValue(0);
    log_->clear();
    currentRateValue_->setText(QStringLiteral("-"));
    averageRateValue_->setText(QStringLiteral("-"));
    etaValue_->setText(QStringLiteral("-"));
    video_->start(videoPath_, name, overwriteCheck_->isChecked());
}

void VideoUploadPane::pauseUpload() {
    video_ ? video_->pause() : audio_->pause();
}

void VideoUploadPane::resumeUpload() {
    video_ ? video_->resume() : audio_->resume();
}

void VideoUploadPane::cancelUpload() {
    video_ ? video_->cancel() : audio_->cancel();
}

void VideoUploadPane::refresh() {
    if (video_) {
        statusValue_->setText(video_->status());
        showFigures(video_->sampleProgress());
        chunksValue_->setText(QStringLiteral("%1 / %2，活动 %3")
                                  .arg(video_->receivedCount())
                                  .arg(video_->totalChunks())
                                  .arg(video_->activeCount()));
    } else {
        statusValue_->setText(audio_->status());
        showFigures(audio_->sampleProgress());
        chunksValue_->setText(QStringLiteral("%1 / %2，活动 %3")
                                  .arg(audio_->succeeded())
                                  .arg(audio_->taskCount())
                                  .arg(audio_->activeCount()));
    }
    updateButtons();
}

void VideoUploadPane::showFigures(const ProgressFigures& figures) {
    if (figures.total <= 0)
        return;
    // Only what the Agent confirmed counts; bytes still on their way are named apart.
    progress_->setValue(progressBarValue(figures.shown, figures.total, kProgressMaximum, figures.complete));
    QString size = sizeProgressText(figures.shown, figures.total);
    if (figures.unconfirmed > 0)
        size += QStringLiteral("（已发送待确认 %1）").arg(fmt::clientBytes(double(figures.unconfirmed)));
    sizeValue_->setText(size);
    averageRateValue_->setText(rateText(figures.averageRate));
    if (figures.currentRate >= 0)
        currentRateValue_->setText(rateText(figures.currentRate));
    etaValue_->setText(figures.etaSeconds >= 0 ? fmt::duration(figures.etaSeconds) : QStringLiteral("-"));
    // Nothing moves while stopped: a speed or time left from before would mislead.
    const QString status = statusValue_->text();
    if (status == QStringLiteral("失败") || status == QStringLiteral("已暂停") ||
        status == QStringLiteral("已取消")) {
        currentRateValue_->setText(QStringLiteral("-"));
        etaValue_->setText(QStringLiteral("-"));
    }
}

void VideoUploadPane::updateButtons() {
    if (video_) {
        startButton_->setEnabled(video_->canStart());
        pauseButton_->setEnabled(video_->canPause());
        resumeButton_->setEnabled(video_->canResume());
        cancelButton_->setEnabled(video_->canCancel());
    } else {
        startButton_->setEnabled(audio_->canStart());
        pauseButton_->setEnabled(audio_->canPause());
        resumeButton_->setEnabled(audio_->canResume());
        cancelButton_->setEnabled(audio_->canCancel());
    }
    const bool active = uploadActive();
    if (active != lastActive_) {
        lastActive_ = active;
        if (activityListener_)
            activityListener_(active);
    }
}

void VideoUploadPane::appendLog(const QString& text) {
    ui::appendTimestamped(log_, text);
}

void VideoUploadPane::reloadFolders() {
    const TransferReply reply =
        transport_->request(QStringLiteral("GET"), QStringLiteral("/files/audio-folders"), {});
    if (const net::RequestResult result = reply.result(); result.failed())
        return appendLog(QStringLiteral("读取音频目录失败: ") + result.text());
    const QString typed = folderCombo_->currentText().trimmed();
    folderCombo_->clear();
    for (const QJsonValue& folder : reply.json.value(QLatin1String("folders")).toArray()) {
        const QString name = folder.toObject().value(QLatin1String("name")).toString();
        if (!name.isEmpty())
            folderCombo_->addItem(name);
    }
    if (!typed.isEmpty())
        folderCombo_->setEditText(typed);
}

void VideoUploadPane::createFolder() {
    const QString name = askFolderName(this, folderCombo_->currentText().trimmed());
    if (name.isEmpty())
        return;
    const TransferReply reply = transport_->request(
        QStringLiteral("POST"), QStringLiteral("/files/audio-folders"), {{QStringLiteral("name"), name}});
    if (const net::RequestResult result = reply.result(); result.failed())
        return ui::warning(this, QStringLiteral("创建音频目录失败: ") + result.text());
    reloadFolders();
    folderCombo_->setEditText(name);
}

void VideoUploadPane::deleteFolder() {
    const QString name = folderCombo_->currentText().trimmed();
    if (name.isEmpty())
        return ui::information(this, QStringLiteral("请先选择音频目录。"));
    if (!ui::question(this,
                      QStringLiteral("确定删除音频目录 ") + name + QStringLiteral(" 及其全部音频文件吗？")))
        return;
    const TransferReply reply = transport_->request(QStringLiteral("DELETE"),
                                                    QStringLiteral("/files/audio-folders?folder=") +
                                                        QString::fromLatin1(QUrl::toPercentEncoding(name)),
                                                    {{QStringLiteral("folder"), name}});
    if (const net::RequestResult result = reply.result(); result.failed())
        return ui::warning(this, QStringLiteral("删除音频目录失败: ") + result.text());
    appendLog(QStringLiteral("已删除音频目录 ") + name);
    folderCombo_->setEditText(QString());
    reloadFolders();
}
