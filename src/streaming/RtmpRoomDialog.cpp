#include "streaming/RtmpRoomDialog.h"

#include "streaming/RtmpRoom.h"
#include "ui/Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace streaming {

RtmpRoomDialog::RtmpRoomDialog(const QList<Node>& nodes, const RtmpRoom* editing, const QString& filterNodeId,
                               QWidget* parent)
    : QDialog(parent), creating_(editing == nullptr) {
    setWindowTitle(creating_ ? QStringLiteral("新增 RTMP 房间") : QStringLiteral("编辑 RTMP 房间"));
    setModal(true);
    resize(520, 260);

    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName(QStringLiteral("rtmpRoomName"));
    nameEdit_->setPlaceholderText(QStringLiteral("例如：主直播间"));
    nodeCombo_ = new QComboBox(this);
    nodeCombo_->setObjectName(QStringLiteral("rtmpRoomNode"));
    for (const Node& node : nodes)
        nodeCombo_->addItem(nodeLabel(node), node.id);
    enabledBox_ = new QCheckBox(QStringLiteral("启用房间"), this);
    enabledBox_->setObjectName(QStringLiteral("rtmpRoomEnabled"));
    enabledBox_->setChecked(true);

    if (editing) {
        nameEdit_->setText(editing->name);
        enabledBox_->setChecked(editing->enabled);
        roomKey_ = editing->roomKey;
        nodeCombo_->setCurrentIndex(nodeCombo_->findData(editing->nodeId));
        nodeCombo_->setEnabled(false);
    } else if (!filterNodeId.isEmpty()) {
        const int index = nodeCombo_->findData(filterNodeId);
        if (index >= 0)
            nodeCombo_->setCurrentIndex(index);
    }

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("房间名"), nameEdit_);
    form->addRow(QStringLiteral("节点"), nodeCombo_);
    form->addRow(QString(), enabledBox_);

    auto* saveButton = new QPushButton(QStringLiteral("保存"), this);
    saveButton->setObjectName(QStringLiteral("rtmpRoomSave"));
    saveButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("取消"), this);
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addLayout(buttons);
    nameEdit_->setFocus();
}

void RtmpRoomDialog::save() {
    const QString name = nameEdit_->text().trimmed();
    if (name.isEmpty()) {
        // Stays open with what was entered, so the user only adds the name.
        ui::warning(this, QStringLiteral("请填写房间名。"));
        result_.reset();
        nameEdit_->setFocus();
        return;
    }
    RtmpRoomInput input;
    input.name = name;
    input.enabled = enabledBox_->isChecked();
    if (creating_)
        input.nodeId = nodeCombo_->currentData().toString();
    else
        input.roomKey = roomKey_;
    result_ = input;
    accept();
}

std::optional<RtmpRoomInput> askRtmpRoom(QWidget* parent, const QList<Node>& nodes, const RtmpRoom* editing,
                                         const QString& filterNodeId) {
    RtmpRoomDialog dialog(nodes, editing, filterNodeId, parent);
    if (ui::execDialog(dialog) != QDialog::Accepted)
        return std::nullopt;
    return dialog.result();
}

void showRtmpLog(QWidget* parent, const QString& text) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("rtmpLogDialog"));
    dialog.setWindowTitle(QStringLiteral("RTMP 日志"));
    dialog.setModal(true);
    dialog.resize(820, 520);
    auto* view = new QPlainTextEdit(&dialog);
    view->setObjectName(QStringLiteral("rtmpLogText"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setPlainText(text);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(view);
    ui::execDialog(dialog);
}

} // namespace streaming
