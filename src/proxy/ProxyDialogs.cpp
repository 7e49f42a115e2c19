#include "proxy/ProxyDialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace proxy {
namespace {

QSpinBox* portSpin(int value, const char* objectName, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(1, 65535);
    spin->setValue(value);
    spin->setObjectName(QLatin1String(objectName));
    return spin;
}

QLineEdit* lineEdit(const QString& text, const char* objectName, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(objectName));
    return edit;
}

// A password field that stays masked until its "显示" button is held down (checked); the row widget
// carries both.
QWidget* passwordRow(QLineEdit* edit, QWidget* parent) {
    edit->setEchoMode(QLineEdit::Password);
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    auto* reveal = new QToolButton(row);
    reveal->setObjectName(edit->objectName() + QStringLiteral("Reveal"));
    reveal->setText(QStringLiteral("显示"));
    reveal->setCheckable(true);
    QObject::connect(reveal, &QToolButton::toggled, edit, [edit, reveal](bool shown) {
        edit->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        reveal->setText(shown ? QStringLiteral("隐藏") : QStringLiteral("显示"));
    });
    layout->addWidget(reveal);
    return row;
}

void addButtons(QDialog* dialog, QVBoxLayout* layout) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
}

} // namespace

ProxyDefaultsDialog::ProxyDefaultsDialog(const ProxyDefaults& defaults, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("默认代理参数"));
    resize(360, 180);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    port_ = portSpin(defaults.port, "portSpin", this);
    username_ = lineEdit(defaults.username, "usernameEdit", this);
    password_ = lineEdit(defaults.password, "passwordEdit", this);
    form->addRow(QStringLiteral("端口"), port_);
    form->addRow(QStringLiteral("账号"), username_);
    form->addRow(QStringLiteral("密码"), passwordRow(password_, this));
    layout->addLayout(form);
    layout->addStretch();
    addButtons(this, layout);
}

ProxyDefaults ProxyDefaultsDialog::values() const {
    return {port_->value(), username_->text().trimmed(), password_->text()};
}

BridgeCreateDialog::BridgeCreateDialog(const QList<Node>& nodes, const QString& preselectedNodeId,
                                       QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("新增中转"));
    setMinimumWidth(360);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    name_ = lineEdit(QString(), "nameEdit", this);
    name_->setPlaceholderText(QStringLiteral("例如：美国账号代理"));
    node_ = new QComboBox(this);
    node_->setObjectName(QStringLiteral("nodeCombo"));
    for (const Node& node : nodes)
        node_->addItem(nodeLabel(node), node.id);
    const int preselected = node_->findData(preselectedNodeId);
    if (preselected >= 0)
        node_->setCurrentIndex(preselected);
    form->addRow(QStringLiteral("名称"), name_);
    form->addRow(QStringLiteral("节点"), node_);
    layout->addLayout(form);
    addButtons(this, layout);
}

QString BridgeCreateDialog::name() const {
    return name_->text().trimmed();
}

QString BridgeCreateDialog::nodeId() const {
    return node_->currentData().toString();
}

QJsonObject BridgeSettings::toJson() const {
    return {{QStringLiteral("name"), name},
            {QStringLiteral("listen"), QStringLiteral("0.0.0.0")},
            {QStringLiteral("port"), port},
            {QStringLiteral("username"), username},
            {QStringLiteral("password"), password},
            {QStringLiteral("upstreamType"), upstreamType},
            {QStringLiteral("upstreamHost"), upstreamHost},
            {QStringLiteral("upstreamPort"), upstreamPort},
            {QStringLiteral("upstreamUsername"), upstreamUsername},
            {QStringLiteral("upstreamPassword"), upstreamPassword}};
}

BridgeEditDialog::BridgeEditDialog(const ProxyBridgeRow& row, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("编辑中转"));
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);

    auto* basics = new QGroupBox(QStringLiteral("基础信息"), this);
    auto* basicsForm = new QFormLayout(basics);
    name_ = lineEdit(row.name, "nameEdit", basics);
    auto* nodeName = new QLabel(row.nodeName, basics);
    nodeName->setTextFormat(Qt::PlainText);
    basicsForm->addRow(QStringLiteral("名称"), name_);
    basicsForm->addRow(QStringLiteral("节点"), nodeName);

    auto* entry = new QGroupBox(QStringLiteral("入口配置"), this);
    auto* entryForm = new QFormLayout(entry);
    port_ = portSpin(row.port < 1 ? 10000 : row.port, "portSpin", entry);
    username_ = lineEdit(row.username, "usernameEdit", entry);
    password_ = lineEdit(row.password, "passwordEdit", entry);
    entryForm->addRow(QStringLiteral("监听端口"), port_);
    entryForm->addRow(QStringLiteral("账号"), username_);
    entryForm->addRow(QStringLiteral("密码"), passwordRow(password_, entry));

    auto* upstream = new QGroupBox(QStringLiteral("出口配置"), this);
    auto* upstreamForm = new QFormLayout(upstream);
    upstreamType_ = new QComboBox(upstream);
    upstreamType_->addItem(QStringLiteral("SOCKS5"), QStringLiteral("socks5"));
    upstreamHost_ = lineEdit(row.upstreamHost, "upstreamHostEdit", upstream);
    upstreamHost_->setPlaceholderText(QStringLiteral("主机名或 IP 地址"));
    upstreamPort_ = portSpin(row.upstreamPort < 1 ? 1080 : row.upstreamPort, "upstreamPortSpin", upstream);
    upstreamUsername_ = lineEdit(row.upstreamUsername, "upstreamUsernameEdit", upstream);
    upstreamPassword_ = lineEdit(row.upstreamPassword, "upstreamPasswordEdit", upstream);
    upstreamForm->addRow(QStringLiteral("类型"), upstreamType_);
    upstreamForm->addRow(QStringLiteral("出口地址"), upstreamHost_);
    upstreamForm->addRow(QStringLiteral("出口端口"), upstreamPort_);
    upstreamForm->addRow(QStringLiteral("出口账号"), upstreamUsername_);
    upstreamForm->addRow(QStringLiteral("出口密码"), passwordRow(upstreamPassword_, upstream));

    layout->addWidget(basics);
    layout->addWidget(entry);
    layout->addWidget(upstream);
    addButtons(this, layout);
}

BridgeSettings BridgeEditDialog::values() const {
    BridgeSettings s;
    s.name = name_->text().trimmed();
    s.port = port_->value();
    s.username = username_->text().trimmed();
    s.password = password_->text(); // passwords are used exactly as typed
    s.upstreamType = upstreamType_->currentData().toString();
    s.upstreamHost = upstreamHost_->text().trimmed();
    s.upstreamPort = upstreamPort_->value();
    s.upstreamUsername = upstreamUsername_->text().trimmed();
    s.upstreamPassword = upstreamPassword_->text();
    return s;
}

} // namespace proxy
