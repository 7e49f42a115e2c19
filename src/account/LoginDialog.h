#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The client's first window: signs the user in to the Cloud API (or registers and signs in at once)
// and fills the process-wide sign-in state. Accepted only after a successful sign-in.
class LoginDialog : public QDialog {
public:
    explicit LoginDialog(QWidget* parent = nullptr);

    // Behind "登录" (false), "注册" (true), Return in either field and the automatic sign-in (false).
    void submit(bool registerAccount);

    QLineEdit* accountEdit() const { return accountEdit_; }
    QLineEdit* passwordEdit() const { return passwordEdit_; }
    QCheckBox* rememberPasswordBox() const { return rememberPasswordBox_; }
    QCheckBox* autoLoginBox() const { return autoLoginBox_; }
    QPushButton* signInButton() const { return signInButton_; }
    QPushButton* registerButton() const { return registerButton_; }
    QPushButton* proxyButton() const { return proxyButton_; }
    QLabel* statusLabel() const { return statusLabel_; }

protected:
    // Escape, the window's close button and every other way out end here.
    void reject() override;

private:
    void buildLayout();
    void loadRememberedValues();
    void connectControls();
    void openProxySettings();

    QLineEdit* accountEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QCheckBox* rememberPasswordBox_ = nullptr;
    QCheckBox* autoLoginBox_ = nullptr;
    QPushButton* signInButton_ = nullptr;
    QPushButton* registerButton_ = nullptr;
    QPushButton* proxyButton_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    int closeCount_ = 0;
};
