#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

// "导入节点": a display name and the pasted import code, pre-filled from the clipboard.
class ImportNodeDialog : public QDialog {
public:
    explicit ImportNodeDialog(QWidget* parent);

    QLineEdit* nameEdit() const { return nameEdit_; }
    QPlainTextEdit* codeEdit() const { return codeEdit_; }

private:
    QLineEdit* nameEdit_ = nullptr;
    QPlainTextEdit* codeEdit_ = nullptr;
};
