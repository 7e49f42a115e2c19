#include "account/LoginDialog.h"

#include "account/NetworkProxyDialog.h"
#include "account/SignInRules.h"
#include "model/SignInState.h"
#include "net/RequestLayer.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char kDialogStyle[] =
    "QDialog { background: #f7f7f7; }"
    "QLabel#loginTitle { font-size: 22px; font-weight: 600; color: #202020; }"
    "QLabel#loginSubTitle { color: #666666; }"
    "QGroupBox { background: #ffffff; border: 1px solid #d8d8d8; border-radius: 6px; margin-top: 8px; }"
    "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; color: #555555; }"
    "QLineEdit { min-height: 28px; }"
    "QPushButton { min-height: 30px; min-width: 82px; }";

} // namespace

LoginDialog::LoginDialog(QWidget* parent) : QDialog(parent) {
    buildLayout();
    loadRememberedValues();
    connectControls();
    if (account::shouldSignInAutomatically(autoLoginBox_->isChecked(), accountEdit_->text(),
                                           passwordEdit_->text()))
        QTimer::singleShot(account::timing.autoSignInDelayMs, this, [this] { submit(false); });
}

void LoginDialog::buildLayout() {
    setWindowTitle(QStringLiteral("Ondivo 登录"));
    resize(430, 330);
    setMinimumWidth(420);
    setStyleSheet(QString::fromUtf8(kDialogStyle));

    auto* title = new QLabel(QStringLiteral("Ondivo"), this);
    title->setObjectName(QStringLiteral("loginTitle"));
    title->setAlignment(Qt::AlignCenter);
    auto* subtitle = new QLabel(QStringLiteral("登录后读取云端节点和本地运行状态"), this);
    subtitle->setObjectName(QStringLiteral("loginSubTitle"));
    subtitle->setAlignment(Qt::AlignCenter);

    accountEdit_ = new QLineEdit(this);
    passwordEdit_ = new QLineEdit(this);
    passwordEdit_->setEchoMode(QLineEdit::Password);
    auto* accountGroup = new QGroupBox(QStringLiteral("账号"), this);
    auto* form = new QFormLayout(accountGroup);
    form->setContentsMargins(18, 18, 18, 14);
    form->setSpacing(10);
    form->addRow(QStringLiteral("账号"), accountEdit_);
    form->addRow(QStringLiteral("密码"), passwordEdit_);

    rememberPasswordBox_ = new QCheckBox(QStringLiteral("保存密码"), this);
    autoLoginBox_ = new QCheckBox(QStringLiteral("自动登录"), this);
    auto* choices = new QHBoxLayout;
    choices->addWidget(rememberPasswordBox_);
    choices->addWidget(autoLoginBox_);
    choices->addStretch();

    statusLabel_ = new QLabel(this);
    statusLabel_->setTextFormat(Qt::PlainText); // shows the sign-in service's own words
    statusLabel_->setWordWrap(true);
    statusLabel_->setMinimumHeight(24);
    statusLabel_->setStyleSheet(QStringLiteral("color: #555555;"));
    // A long failure reply wraps inside the dialog instead of stretching it off the screen.
    statusLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    proxyButton_ = new QPushButton(QStringLiteral("代理设置"), this);
    registerButton_ = new QPushButton(QStringLiteral("注册"), this);
    signInButton_ = new QPushButton(QStringLiteral("登录"), this);
    // Return is wired to sign-in explicitly; no button may grab it as the dialog's default.
    for (QPushButton* button : {proxyButton_, registerButton_, signInButton_})
        button->setAutoDefault(false);
    auto* actions = new QHBoxLayout;
    actions->addWidget(proxyButton_);
    actions->addStretch();
    actions->addWidget(registerButton_);
    actions->addWidget(signInButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 20, 22, 18);
    layout->setSpacing(12);
    layout->addWidget(title);
    layout->addWidget(subtitle);
    layout->addWidget(accountGroup);
    layout->addLayout(choices);
    layout->addWidget(statusLabel_);
    layout->addLayout(actions);
}

void LoginDialog::loadRememberedValues() {
    const account::RememberedSignIn remembered = account::loadRememberedSignIn();
    accountEdit_->setText(remembered.account);
    rememberPasswordBox_->setChecked(remembered.rememberPassword);
    autoLoginBox_->setChecked(remembered.autoLogin);
    if (remembered.rememberPassword)
        passwordEdit_->setText(remembered.password);
    // Start typing where something is still missing.
    if (!remembered.account.isEmpty() && passwordEdit_->text().isEmpty())
        passwordEdit_->setFocus();
}

void LoginDialog::connectControls() {
    connect(signInButton_, &QPushButton::clicked, this, [this] { submit(false); });
    connect(registerButton_, &QPushButton::clicked, this, [this] { submit(true); });
    connect(proxyButton_, &QPushButton::clicked, this, [this] { openProxySettings(); });
    connect(accountEdit_, &QLineEdit::returnPressed, this, [this] { submit(false); });
    connect(passwordEdit_, &QLineEdit::returnPressed, this, [this] { submit(false); });
}

void LoginDialog::openProxySettings() {
    // No shared access manager exists yet; the next request reads the stored setting by itself.
    NetworkProxyDialog dialog(this);
    ui::execDialog(dialog);
}

void LoginDialog::reject() {
    ++closeCount_;
    QDialog::reject();
}

void LoginDialog::submit(bool registerAccount) {
    const QString accountText = accountEdit_->text();
    const QString password = passwordEdit_->text();
    if (accountText.isEmpty() || password.isEmpty()) {
        statusLabel_->setText(QStringLiteral("请输入账号和密码"));
        return;
    }

    statusLabel_->setText(registerAccount ? QStringLiteral("注册中...") : QStringLiteral("登录中..."));
    signInButton_->setEnabled(false);
    registerButton_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    // The request waits in a nested event loop, during which the user may still close the dialog.
    const int closesBefore = closeCount_;
    int status = 0;
    const QJsonObject reply = net::cloudRequest(QStringLiteral("POST"), account::signInPath(registerAccount),
                                                account::signInBody(accountText, password), false, &status);

    QApplication::restoreOverrideCursor();
    signInButton_->setEnabled(true);
    registerButton_->setEnabled(true);
    // Closed while waiting: the user chose to leave, so a late answer neither signs in nor stores anything.
    if (closeCount_ != closesBefore)
        return;

    const QString token = account::issuedToken(status, reply);
    if (token.isEmpty()) {
        statusLabel_->setText(account::failureText(status, reply));
        return;
    }
    signInState() = SignInState{accountText, password, token};
    account::storeRememberedSignIn(
        {accountText, password, rememberPasswordBox_->isChecked(), autoLoginBox_->isChecked()});
    accept();
}
