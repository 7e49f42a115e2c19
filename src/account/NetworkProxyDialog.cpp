#include "account/NetworkProxyDialog.h"

#include "app/Settings.h"
#include "net/ApplicationProxy.h"
#include "net/ReplyGuard.h"
#include "net/ReplyLimits.h"
#include "net/RequestLayer.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

NetworkProxyDialog::NetworkProxyDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("代理设置"));
    resize(460, 270);
    buildLayout();
    loadStoredValues();

    connect(modeList_, &QComboBox::currentIndexChanged, this, [this] { updateFieldStates(); });
    connect(typeList_, &QComboBox::currentIndexChanged, this, [this] {
        portEdit_->setValue(
            account::portAfterTypeChange(portEdit_->value(), typeList_->currentData().toString()));
    });
    connect(testButton_, &QPushButton::clicked, this, [this] { testConnection(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { save(); });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void NetworkProxyDialog::buildLayout() {
    modeList_ = new QComboBox(this);
    modeList_->addItem(QStringLiteral("直连"), QString::fromLatin1(settings::kModeDirect));
    modeList_->addItem(QStringLiteral("使用本地代理"), QString::fromLatin1(settings::kModeLocalProxy));
    typeList_ = new QComboBox(this);
    typeList_->addItem(QStringLiteral("SOCKS5"), QString::fromLatin1(settings::kTypeSocks5));
    typeList_->addItem(QStringLiteral("HTTP"), QString::fromLatin1(settings::kTypeHttp));
    hostEdit_ = new QLineEdit(this);
    hostEdit_->setPlaceholderText(QStringLiteral("127.0.0.1"));
    portEdit_ = new QSpinBox(this);
    portEdit_->setRange(1, 65535);
    userEdit_ = new QLineEdit(this);
    userEdit_->setPlaceholderText(QStringLiteral("可选"));
    passwordEdit_ = new QLineEdit(this);
    passwordEdit_->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("联网模式"), modeList_);
    form->addRow(QStringLiteral("代理类型"), typeList_);
    form->addRow(QStringLiteral("代理地址"), hostEdit_);
    form->addRow(QStringLiteral("代理端口"), portEdit_);
    form->addRow(QStringLiteral("代理账号"), userEdit_);
    form->addRow(QStringLiteral("代理密码"), passwordEdit_);

    statusLabel_ = new QLabel(this);
    statusLabel_->setTextFormat(Qt::PlainText); // shows the geolocation service's own words
    statusLabel_->setWordWrap(true);
    statusLabel_->setMinimumHeight(28);
    // Long error texts wrap instead of widening the dialog.
    statusLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    testButton_ = new QPushButton(QStringLiteral("测试连接"), this);
    saveButton_ = new QPushButton(QStringLiteral("保存"), this);
    cancelButton_ = new QPushButton(QStringLiteral("取消"), this);
    // Return in a field must neither save nor close the dialog by accident.
    for (QPushButton* button : {testButton_, saveButton_, cancelButton_})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(testButton_);
    buttons->addStretch();
    buttons->addWidget(saveButton_);
    buttons->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(statusLabel_);
    layout->addLayout(buttons);
}

void NetworkProxyDialog::loadStoredValues() {
    const account::ProxyForm stored = account::loadProxyForm();
    const int modeIndex = modeList_->findData(stored.mode);
    modeList_->setCurrentIndex(modeIndex < 0 ? 0 : modeIndex);
    const int typeIndex = typeList_->findData(stored.type);
    typeList_->setCurrentIndex(typeIndex < 0 ? 0 : typeIndex);
    hostEdit_->setText(stored.host);
    portEdit_->setValue(stored.port);
    userEdit_->setText(stored.username);
    passwordEdit_->setText(stored.password);
    setStatus(QStringLiteral("当前：") + net::proxySummary());
    updateFieldStates();
}

void NetworkProxyDialog::updateFieldStates() {
    const bool proxied = form().usesProxy();
    for (QWidget* field :
         std::initializer_list<QWidget*>{typeList_, hostEdit_, portEdit_, userEdit_, passwordEdit_})
        field->setEnabled(proxied);
}

void NetworkProxyDialog::setStatus(const QString& text) {
    statusLabel_->setText(text);
}

account::ProxyForm NetworkProxyDialog::form() const {
    account::ProxyForm values;
    values.mode = modeList_->currentData().toString();
    values.type = typeList_->currentData().toString();
    values.host = hostEdit_->text();
    values.port = portEdit_->value();
    values.username = userEdit_->text();
    values.password = passwordEdit_->text();
    return values;
}

void NetworkProxyDialog::save() {
    const account::ProxyForm values = form();
    if (const auto problem = account::proxyFormProblem(values)) {
        setStatus(*problem);
        return;
    }
    account::storeProxyForm(values);
    setStatus(QStringLiteral("已保存：") + net::proxySummary());
    accept();
}

void NetworkProxyDialog::testConnection() {
    const account::ProxyForm values = form();
    if (const auto problem = account::proxyFormProblem(values)) {
        setStatus(*problem);
        return;
    }
    setStatus(QStringLiteral("测试中..."));
    // One test at a time, and no save while a test still waits.
    testButton_->setEnabled(false);
    saveButton_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    QNetworkAccessManager manager;
    manager.setProxy(account::proxyFromForm(values));
    QNetworkRequest request{QUrl(account::ipGeoTestUrl())};
    net::requireRedirectApproval(request);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
        manager.get(request), [](QNetworkReply* r) { r->deleteLater(); });
    net::guardReply(reply.get(), net::limits::kProbeReplyMaxBytes);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
    connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    limit.start(account::timing.proxyTestTimeoutMs);
    if (!reply->isFinished())
        loop.exec();
    limit.stop();
    QApplication::restoreOverrideCursor();
    testButton_->setEnabled(true);
    saveButton_->setEnabled(true);

    if (reply->error() != QNetworkReply::NoError) {
        setStatus(account::geoTestNetworkFailureText(net::networkErrorText(reply.get())));
        return;
    }
    setStatus(account::geoTestResultText(net::parseJsonObject(reply->readAll())));
}
