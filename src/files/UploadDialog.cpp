#include "files/UploadDialog.h"

#include "files/VideoUploadPane.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

UploadDialog::UploadDialog(const QList<Node>& nodes, const QString& preselectedNodeId, QWidget* parent)
    : QDialog(parent), nodes_(nodes) {
    setWindowTitle(QStringLiteral("上传文件"));
    resize(900, 680);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    nodeCombo_ = new QComboBox;
    for (const Node& node : nodes_)
        nodeCombo_->addItem(nodeLabel(node), node.id);
    const int preselected = nodeCombo_->findData(preselectedNodeId);
    if (!preselectedNodeId.isEmpty() && preselected >= 0)
        nodeCombo_->setCurrentIndex(preselected);
    typeCombo_ = new QComboBox;
    typeCombo_->addItem(QStringLiteral("视频文件"), false);
    typeCombo_->addItem(QStringLiteral("音频文件"), true);
    row->addWidget(new QLabel(QStringLiteral("节点")));
    row->addWidget(nodeCombo_, 1);
    row->addWidget(new QLabel(QStringLiteral("类型")));
    row->addWidget(typeCombo_);
    layout->addLayout(row);
    holder_ = new QVBoxLayout;
    layout->addLayout(holder_, 1);
    rebuildPane();
    connect(nodeCombo_, &QComboBox::currentIndexChanged, this, [this] { rebuildPane(); });
    connect(typeCombo_, &QComboBox::currentIndexChanged, this, [this] { rebuildPane(); });
}

void UploadDialog::rebuildPane() {
    if (pane_) {
        holder_->removeWidget(pane_);
        pane_->hide();
        pane_->deleteLater();
        pane_ = nullptr;
    }
    const QString id = nodeCombo_->currentData().toString();
    const auto node =
        std::find_if(nodes_.cbegin(), nodes_.cend(), [&id](const Node& n) { return n.id == id; });
    if (node == nodes_.cend())
        return;
    pane_ = new VideoUploadPane(*node, typeCombo_->currentData().toBool());
    // The pane belongs to the Node and type it was made for: both stay put while it uploads.
    pane_->setActivityListener([this](bool active) {
        nodeCombo_->setEnabled(!active);
        typeCombo_->setEnabled(!active);
    });
    holder_->addWidget(pane_);
}

void UploadDialog::done(int result) {
    if (pane_ && !pane_->confirmClose())
        return;
    QDialog::done(result);
}

void UploadDialog::closeEvent(QCloseEvent* event) {
    if (pane_ && !pane_->confirmClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
