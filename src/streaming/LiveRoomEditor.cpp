#include "streaming/LiveRoomEditor.h"

#include "app/TextFormats.h"
#include "shell/AgentCall.h"
#include "shell/Shell.h"
#include "streaming/LivePushStatus.h"
#include "streaming/RtmpPage.h"
#include "ui/Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using streaming::LiveRoom;

namespace {

constexpr int kRefreshButtonWidth = 82;
const QString kPushPlaceholder = QStringLiteral("rtmp://server/live/stream_key");

QFormLayout* editorForm(QWidget* group) {
    auto* form = new QFormLayout(group);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFormAlignment(Qt::AlignTop);
    form->setHorizontalSpacing(14);
    form->setVerticalSpacing(12);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return form;
}

QComboBox* editableCombo(const QString& text, const QString& placeholder = QString()) {
    auto* combo = new QComboBox;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (!placeholder.isEmpty())
        combo->lineEdit()->setPlaceholderText(placeholder);
    combo->setEditText(text);
    return combo;
}

QWidget* comboWithButton(QComboBox* combo, QPushButton* button) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(combo, 1);
    layout->addWidget(button);
    return row;
}

streaming::ComboChoice choiceOf(const QComboBox* combo) {
    const int index = combo->currentIndex();
    return {combo->currentText(), index >= 0 ? combo->itemText(index) : QString(),
            index >= 0 ? combo->itemData(index).toString() : QString()};
}

// Refills a list combo and puts back what the user had typed or chosen.
void refill(QComboBox* combo, const QList<std::pair<QString, QString>>& items) {
    const QString remembered = combo->currentText();
    combo->clear();
    for (const auto& [text, data] : items)
        combo->addItem(text, data);
    if (!remembered.isEmpty())
        combo->setEditText(remembered);
}

} // namespace

LiveCreateDialog::LiveCreateDialog(const QList<Node>& nodes, const QString& preselectedNodeId,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("创建房间"));
    resize(420, 160);
    auto* form = new QFormLayout(this);
    nameEdit_ = new QLineEdit;
    nodeCombo_ = new QComboBox;
    for (const Node& node : nodes)
        nodeCombo_->addItem(nodeLabel(node), node.id);
    const int preselected = preselectedNodeId.isEmpty() ? -1 : nodeCombo_->findData(preselectedNodeId);
    if (preselected >= 0)
        nodeCombo_->setCurrentIndex(preselected);
    form->addRow(QStringLiteral("房间名"), nameEdit_);
    form->addRow(QStringLiteral("节点"), nodeCombo_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

QString LiveCreateDialog::roomName() const {
    return nameEdit_->text().trimmed();
}

QString LiveCreateDialog::nodeId() const {
    return nodeCombo_->currentData().toString();
}

LiveRoomEditor::LiveRoomEditor(shell::Shell& shell, const LiveRoom& room, QWidget* parent)
    : QDialog(parent), shell_(shell), room_(room) {
    setWindowTitle(QStringLiteral("编辑直播房间"));
    resize(760, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(12);
    layout->addWidget(buildBasicGroup());
    layout->addWidget(buildMediaGroup());
    layout->addWidget(buildPushGroup());
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    saveButton_ = new QPushButton(QStringLiteral("保存"));
    auto* cancel = new QPushButton(QStringLiteral("取消"));
    buttons->addWidget(saveButton_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(saveButton_, &QPushButton::clicked, this, [this] { trySave(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(modeCombo_, &QComboBox::currentIndexChanged, this, [this] { applyMode(); });
    applyMode();
}

QWidget* LiveRoomEditor::buildBasicGroup() {
    auto* group = new QGroupBox(QStringLiteral("基础信息"));
    QFormLayout* form = editorForm(group);
    nameEdit_ = new QLineEdit(room_.name);
    nodeCombo_ = new QComboBox;
    nodeCombo_->addItem(QStringLiteral("未选择"), QString());
    for (const Node& node : shell_.nodes())
        nodeCombo_->addItem(nodeLabel(node), node.id);
    nodeCombo_->setCurrentIndex(qMax(0, nodeCombo_->findData(room_.cloudNodeId)));
    nodeCombo_->setEnabled(false);
    form->addRow(QStringLiteral("房间名"), nameEdit_);
    form->addRow(QStringLiteral("节点"), nodeCombo_);
    return group;
}

QPushButton* LiveRoomEditor::refreshButton(void (LiveRoomEditor::*reload)()) {
    auto* button = new QPushButton(QStringLiteral("刷新"));
    button->setFixedWidth(kRefreshButtonWidth);
    connect(button, &QPushButton::clicked, this, reload);
    return button;
}

QWidget* LiveRoomEditor::buildMediaGroup() {
    auto* group = new QGroupBox(QStringLiteral("媒体来源"));
    QFormLayout* form = editorForm(group);
    modeCombo_ = new QComboBox;
    for (const char* mode : {streaming::kFileMode, streaming::kRandomAudioMode, streaming::kPullMode})
        modeCombo_->addItem(streaming::modeLabel(QLatin1String(mode)), QString::fromLatin1(mode));
    modeCombo_->setCurrentIndex(qMax(0, modeCombo_->findData(streaming::effectiveMode(room_.streamMode))));
    muteCheck_ = new QCheckBox(QStringLiteral("静音视频音轨"));
    muteCheck_->setChecked(room_.muteVideoAudio);
    videoCombo_ = editableCombo(streaming::baseName(room_.videoPath), QStringLiteral("example.mp4"));
    videoRefresh_ = refreshButton(&LiveRoomEditor::reloadVideos);
    pullCombo_ = editableCombo(room_.sourceUrl, kPushPlaceholder);
    pullRefresh_ = refreshButton(&LiveRoomEditor::reloadPullSources);
    audioCombo_ = editableCombo(room_.audioFolder);
    audioRefresh_ = refreshButton(&LiveRoomEditor::reloadAudioFolders);
    form->addRow(QStringLiteral("推流模式"), modeCombo_);
    form->addRow(QString(), muteCheck_);
    form->addRow(QStringLiteral("视频文件"), comboWithButton(videoCombo_, videoRefresh_));
    form->addRow(QStringLiteral("拉流地址"), comboWithButton(pullCombo_, pullRefresh_));
    form->addRow(QStringLiteral("音频目录"), comboWithButton(audioCombo_, audioRefresh_));
    return group;
}

QWidget* LiveRoomEditor::buildPushGroup() {
    auto* group = new QGroupBox(QStringLiteral("推流设置"));
    QFormLayout* form = editorForm(group);
    pushEdit_ = new QLineEdit(room_.pushUrl);
    pushEdit_->setPlaceholderText(kPushPlaceholder);
    loopCheck_ = new QCheckBox(QStringLiteral("循环播放"));
    loopCheck_->setChecked(room_.loopEnabled);
    form->addRow(QStringLiteral("推流地址"), pushEdit_);
    form->addRow(QString(), loopCheck_);
    return group;
}

void LiveRoomEditor::applyMode() {
    const streaming::ModeFields fields = streaming::modeFields(modeCombo_->currentData().toString());
    videoCombo_->setEnabled(fields.video);
    videoRefresh_->setEnabled(fields.video);
    pullCombo_->setEnabled(fields.pull);
    pullRefresh_->setEnabled(fields.pull);
    audioCombo_->setEnabled(fields.audio);
    audioRefresh_->setEnabled(fields.audio);
    muteCheck_->setVisible(fields.mute);
    muteCheck_->setEnabled(fields.mute);
    loopCheck_->setEnabled(fields.loop);
}

void LiveRoomEditor::loadInitialLists() {
    if (!room_.cloudNodeId.isEmpty()) {
        reloadVideos();
        reloadAudioFolders();
    }
    reloadPullSources();
}

const Node* LiveRoomEditor::chosenNodeOrNotice() {
    const Node* node = shell_.nodeById(chosenNodeId());
    if (!node)
        ui::information(this, QStringLiteral("请先选择节点。"));
    return node;
}

void LiveRoomEditor::reloadVideos() {
    const Node* found = chosenNodeOrNotice();
    if (!found)
        return;
    const Node node = *found;
    const std::optional<QJsonObject> reply = shell::callAgent(
        shell_, {QStringLiteral("读取视频列表..."), QStringLiteral("读取视频列表失败: "), this}, node,
        QStringLiteral("GET"), QStringLiteral("/files/videos"));
    if (!reply)
        return;
    QList<std::pair<QString, QString>> items;
    for (const QJsonValue& value : reply->value(QLatin1String("files")).toArray()) {
        const QJsonObject file = value.toObject();
        const QString path = file.contains(QLatin1String("relative"))
                                 ? file.value(QLatin1String("relative")).toString()
                                 : file.value(QLatin1String("name")).toString();
        items.append({streaming::baseName(path) + QStringLiteral("  ") +
                          fmt::clientBytes(file.value(QLatin1String("size")).toDouble()),
                      path});
    }
    refill(videoCombo_, items);
}

void LiveRoomEditor::reloadAudioFolders() {
    const Node* found = chosenNodeOrNotice();
    if (!found)
        return;
    const Node node = *found;
    const std::optional<QJsonObject> reply = shell::callAgent(
        shell_, {QStringLiteral("读取音频目录..."), QStringLiteral("读取音频目录失败: "), this}, node,
        QStringLiteral("GET"), QStringLiteral("/files/audio-folders"));
    if (!reply)
        return;
    QList<std::pair<QString, QString>> items;
    for (const QJsonValue& value : reply->value(QLatin1String("folders")).toArray()) {
        const QJsonObject folder = value.toObject();
        const QString name = folder.value(QLatin1String("name")).toString();
        if (!name.isEmpty())
            items.append({QStringLiteral("%1 (%2)").arg(name).arg(
                              folder.value(QLatin1String("fileCount")).toInteger()),
                          name});
    }
    refill(audioCombo_, items);
}

void LiveRoomEditor::reloadPullSources() {
    // The RTMP page's rows in this window first, then every Node asked afresh: the editor offers what that
    // page would copy. The Nodes are copies, so a Node list reload while a request waits changes nothing.
    const QList<streaming::RtmpRoom> pageRows = streaming::rtmpRowsShownIn(shell_.dialogParent());
    QList<streaming::PullSource> sources;
    {
        shell::BusyScope busy(shell_, QStringLiteral("读取拉流地址..."));
        sources = streaming::collectPullSources(pageRows, shell_.nodes());
    }
    QList<std::pair<QString, QString>> items;
    for (const streaming::PullSource& source : sources)
        items.append({source.label, source.url});
    refill(pullCombo_, items);
    if (sources.isEmpty())
        shell_.setStatusText(QStringLiteral("没有读取到可用的 RTMP/SRT 拉流地址，可手动填写。"));
}

QString LiveRoomEditor::chosenNodeId() const {
    return nodeCombo_->currentData().toString();
}

streaming::EditorValues LiveRoomEditor::values() const {
    streaming::EditorValues values;
    values.name = nameEdit_->text().trimmed();
    values.streamMode = modeCombo_->currentData().toString();
    values.videoPath = streaming::chosenVideoPath(choiceOf(videoCombo_), room_.videoPath);
    values.pullUrl = streaming::chosenValue(choiceOf(pullCombo_));
    values.audioFolder = streaming::chosenValue(choiceOf(audioCombo_));
    values.pushUrl = pushEdit_->text().trimmed();
    values.muteVideoAudio = muteCheck_->isChecked();
    values.loopEnabled = loopCheck_->isChecked();
    return values;
}

// A refused save keeps the dialog open, so what was typed is not lost to a missing field.
void LiveRoomEditor::trySave() {
    const QString refusal = streaming::editorRefusal(values());
    if (!refusal.isEmpty()) {
        ui::warning(this, refusal);
        return;
    }
    accept();
}
