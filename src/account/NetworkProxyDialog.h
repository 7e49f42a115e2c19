#pragma once

#include "account/ProxyForm.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// Edits the application's own proxy (the network/* settings) and tests a proposed setting by asking
// an IP-geolocation service which address the traffic leaves from. Nothing is stored before "保存".
class NetworkProxyDialog : public QDialog {
public:
    explicit NetworkProxyDialog(QWidget* parent = nullptr);

    // The values the form shows now.
    account::ProxyForm form() const;

    void save();
    void testConnection();

    QComboBox* modeList() const { return modeList_; }
    QComboBox* typeList() const { return typeList_; }
    QLineEdit* hostEdit() const { return hostEdit_; }
    QSpinBox* portEdit() const { return portEdit_; }
    QLineEdit* userEdit() const { return userEdit_; }
    QLineEdit* passwordEdit() const { return passwordEdit_; }
    QLabel* statusLabel() const { return statusLabel_; }
    QPushButton* testButton() const { return testButton_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

private:
    void buildLayout();
    void loadStoredValues();
    void updateFieldStates();
    void setStatus(const QString& text);

    QComboBox* modeList_ = nullptr;
    QComboBox* typeList_ = nullptr;
    QLineEdit* hostEdit_ = nullptr;
    QSpinBox* portEdit_ = nullptr;
    QLineEdit* userEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QPushButton* testButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};
