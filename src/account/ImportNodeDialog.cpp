#include "account/ImportNodeDialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

ImportNodeDialog::ImportNodeDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("导入节点"));
    setModal(true);
    resize(520, 320);

    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName(QStringLiteral("importNodeName"));
    nameEdit_->setPlaceholderText(QStringLiteral("例如：生产服务器 1"));
    codeEdit_ = new QPlainTextEdit(this);
    codeEdit_->setObjectName(QStringLiteral("importNodeCode"));
    codeEdit_->setPlaceholderText(QStringLiteral("粘贴 ondivo://node?data=... 导入信息"));
    codeEdit_->setPlainText(QGuiApplication::clipboard()->text());

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("名称"), nameEdit_);
    form->addRow(QStringLiteral("连接信息"), codeEdit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // The toolkit's own captions are English unless a translation is installed.
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    nameEdit_->setFocus();
}
