#pragma once

#include "model/Node.h"

#include <QDialog>
#include <QList>
#include <QPointer>

#include "files/VideoUploadPane.h"

class QComboBox;
class QVBoxLayout;

// "上传文件": a Node and a media type chosen above one upload pane, made again whenever either
// changes. While an upload is active both choices are locked, and closing asks first.
class UploadDialog : public QDialog {
public:
    UploadDialog(const QList<Node>& nodes, const QString& preselectedNodeId, QWidget* parent = nullptr);

    VideoUploadPane* pane() const { return pane_; }
    QComboBox* nodeCombo() const { return nodeCombo_; }
    QComboBox* typeCombo() const { return typeCombo_; }

    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void rebuildPane();

    QList<Node> nodes_;
    QComboBox* nodeCombo_ = nullptr;
    QComboBox* typeCombo_ = nullptr;
    QVBoxLayout* holder_ = nullptr;
    QPointer<VideoUploadPane> pane_;
};
