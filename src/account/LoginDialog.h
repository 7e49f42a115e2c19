#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

// Signs the user in to the Cloud API and fills the process-wide sign-in state.
class LoginDialog : public QDialog {
public:
    explicit LoginDialog(QWidget* parent = nullptr);

    void submit(bool registerAccount);

private:
    QLineEdit* accountEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLabel* statusLabel_ = nullptr;
};
