#pragma once

#include "model/Node.h"
#include "proxy/ProxyBridgeRow.h"
#include "proxy/ProxyRules.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QSpinBox;

// The dialogs of the proxy and bridge pages. Fields carry object names so scripted tests can fill them.
namespace proxy {

// "默认代理参数": port, account and password offered for new proxies and bridges.
class ProxyDefaultsDialog : public QDialog {
public:
    ProxyDefaultsDialog(const ProxyDefaults& defaults, QWidget* parent);
    // Port, trimmed account and the password as typed.
    ProxyDefaults values() const;

private:
    QSpinBox* port_ = nullptr;
    QLineEdit* username_ = nullptr;
    QLineEdit* password_ = nullptr;
};

// "新增中转": a name and the Node that will run the bridge.
class BridgeCreateDialog : public QDialog {
public:
    BridgeCreateDialog(const QList<Node>& nodes, const QString& preselectedNodeId, QWidget* parent);
    QString name() const;   // trimmed
    QString nodeId() const; // empty when none is chosen

private:
    QLineEdit* name_ = nullptr;
    QComboBox* node_ = nullptr;
};

// What "编辑中转" sends; texts are trimmed, passwords are kept as typed.
struct BridgeSettings {
    QString name;
    int port = 10000;
    QString username;
    QString password;
    QString upstreamType = QStringLiteral("socks5");
    QString upstreamHost;
    int upstreamPort = 1080;
    QString upstreamUsername;
    QString upstreamPassword;

    bool hasEntryAccount() const {
        return !name.isEmpty() && !username.isEmpty() && !password.trimmed().isEmpty();
    }
    QJsonObject toJson() const;
};

// "编辑中转": basic data, the entry and the upstream of one bridge.
class BridgeEditDialog : public QDialog {
public:
    BridgeEditDialog(const ProxyBridgeRow& row, QWidget* parent);
    BridgeSettings values() const;

private:
    QLineEdit* name_ = nullptr;
    QSpinBox* port_ = nullptr;
    QLineEdit* username_ = nullptr;
    QLineEdit* password_ = nullptr;
    QComboBox* upstreamType_ = nullptr;
    QLineEdit* upstreamHost_ = nullptr;
    QSpinBox* upstreamPort_ = nullptr;
    QLineEdit* upstreamUsername_ = nullptr;
    QLineEdit* upstreamPassword_ = nullptr;
};

} // namespace proxy
