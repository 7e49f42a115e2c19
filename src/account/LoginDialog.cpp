#include "account/LoginDialog.h"

#include "app/Settings.h"
#include "net/RequestLayer.h"
#include "net/SignInState.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

LoginDialog::LoginDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ondivo 登录"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    accountEdit_ = new QLineEdit(settings::lastUsername(), this);
    passwordEdit_ = new QLineEdit(this);
    passwordEdit_->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("账号"), accountEdit_);
    form->addRow(QStringLiteral("密码"), passwordEdit_);
    layout->addLayout(form);
    statusLabel_ = new QLabel(this);
    layout->addWidget(statusLabel_);
    auto* signIn = new QPushButton(QStringLiteral("登录"), this);
    layout->addWidget(signIn);
    connect(signIn, &QPushButton::clicked, this, [this] { submit(false); });
}

void LoginDialog::submit(bool registerAccount) {
    if (accountEdit_->text().isEmpty() || passwordEdit_->text().isEmpty()) {
        statusLabel_->setText(QStringLiteral("请输入账号和密码"));
        return;
    }
    QJsonObject body{{QStringLiteral("username"), accountEdit_->text()},
                     {QStringLiteral("password"), passwordEdit_->text()}};
    int status = 0;
    const QJsonObject reply = net::cloudRequest(
        QStringLiteral("POST"), registerAccount ? QStringLiteral("/api/auth/register") : QStringLiteral("/api/auth/login"),
        body, false, &status);
    if (status < 300 && reply.contains(QLatin1String("token"))) {
        signInState() = {accountEdit_->text(), passwordEdit_->text(), reply.value(QLatin1String("token")).toString()};
        settings::writeText(settings::key::lastUsername, accountEdit_->text());
        accept();
        return;
    }
    statusLabel_->setText(QStringLiteral("失败: ") + QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact)));
}
