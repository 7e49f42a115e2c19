#include "PlainText.h"
#include "RecordingServer.h"
#include "TestMain.h"

#include "account/LoginDialog.h"
#include "account/SignInRules.h"
#include "app/LocalProtection.h"
#include "app/Settings.h"
#include "model/SignInState.h"
#include "net/RequestTiming.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using testsupport::RecordingServer;

namespace {

QJsonObject bodyOf(const RecordingServer::Request& request) {
    return QJsonDocument::fromJson(request.body).object();
}

void rememberSignIn(const QString& account, const QString& password, bool remember, bool autoLogin) {
    settings::writeText(settings::key::lastUsername, account);
    settings::writeBool(settings::key::rememberPassword, remember);
    settings::writeBool(settings::key::autoLogin, autoLogin);
    settings::writeText(settings::key::protectedPassword,
                        password.isEmpty() ? QString() : app::protectLocal(password));
}

} // namespace

class TestLoginDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingServer> server;

private Q_SLOTS:
    void init() {
        testsupport::clearSettings();
        ui::testing::setScripted(true);
        ui::testing::reset();
        signInState() = SignInState();
        server = std::make_unique<RecordingServer>();
        qputenv("ONDIVO_CLOUD_API_URL", server->baseUrl().toUtf8());
    }
    void cleanup() { server.reset(); }

    void layoutAndTexts() {
        LoginDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Ondivo 登录"));
        QCOMPARE(dialog.size(), QSize(430, 330));
        QCOMPARE(dialog.minimumWidth(), 420);
        QCOMPARE(dialog.findChild<QLabel*>("loginTitle")->text(), QStringLiteral("Ondivo"));
        QCOMPARE(dialog.findChild<QLabel*>("loginSubTitle")->text(),
                 QStringLiteral("登录后读取云端节点和本地运行状态"));
        QCOMPARE(dialog.findChild<QGroupBox*>()->title(), QStringLiteral("账号"));
        QCOMPARE(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.rememberPasswordBox()->text(), QStringLiteral("保存密码"));
        QCOMPARE(dialog.autoLoginBox()->text(), QStringLiteral("自动登录"));
        QCOMPARE(dialog.signInButton()->text(), QStringLiteral("登录"));
        QCOMPARE(dialog.registerButton()->text(), QStringLiteral("注册"));
        QCOMPARE(dialog.proxyButton()->text(), QStringLiteral("代理设置"));
        QVERIFY(dialog.statusLabel()->wordWrap());
        QVERIFY(dialog.styleSheet().startsWith(QStringLiteral("QDialog { background: #f7f7f7; }")));
    }

    void remembersValues_data() {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<QString>("password");
        QTest::newRow("remembered") << true << "pw-1";
        QTest::newRow("not remembered") << false << "";
    }
    void remembersValues() {
        QFETCH(bool, remember);
        QFETCH(QString, password);
        rememberSignIn(QStringLiteral("alice"), QStringLiteral("pw-1"), remember, false);
        LoginDialog dialog;
        QCOMPARE(dialog.accountEdit()->text(), QStringLiteral("alice"));
        QCOMPARE(dialog.passwordEdit()->text(), password);
        QCOMPARE(dialog.rememberPasswordBox()->isChecked(), remember);
        QVERIFY(!dialog.autoLoginBox()->isChecked());
        if (password.isEmpty())
            QCOMPARE(dialog.focusWidget(), static_cast<QWidget*>(dialog.passwordEdit()));
    }

    void automaticSignInNeedsBothFields_data() {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<QString>("account");
        QTest::addColumn<bool>("signsIn");
        QTest::newRow("remembered password") << true << "alice" << true;
        QTest::newRow("password not remembered") << false << "alice" << false;
        QTest::newRow("no account") << true << "" << false;
    }
    void automaticSignInNeedsBothFields() {
        QFETCH(bool, remember);
        QFETCH(QString, account);
        QFETCH(bool, signsIn);
        rememberSignIn(account, QStringLiteral("pw-1"), remember, true);
        server->setDefaultReply(RecordingServer::json(200, "{\"token\":\"tok-auto\"}"));
        LoginDialog dialog;
        QVERIFY(server->requests().isEmpty()); // not during construction
        if (signsIn) {
            QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(server->requests().size(), 1);
            QCOMPARE(server->lastRequest().path, QByteArray("/api/auth/login"));
            QCOMPARE(signInState().token, QStringLiteral("tok-auto"));
        } else {
            QTest::qWait(account::timing.autoSignInDelayMs * 4);
            QVERIFY(server->requests().isEmpty());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
    }

    void emptyFieldsSendNothing_data() {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::newRow("both empty") << ""
                                    << "";
        QTest::newRow("no password") << "alice"
                                     << "";
        QTest::newRow("no account") << ""
                                    << "pw";
    }
    void emptyFieldsSendNothing() {
        QFETCH(QString, account);
        QFETCH(QString, password);
        LoginDialog dialog;
        dialog.accountEdit()->setText(account);
        dialog.passwordEdit()->setText(password);
        dialog.submit(false);
        dialog.submit(true);
        QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("请输入账号和密码"));
        QVERIFY(server->requests().isEmpty());
    }

    void successFillsStateAndSettings_data() {
        QTest::addColumn<bool>("registerAccount");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("sign in") << false << QByteArray("/api/auth/login");
        QTest::newRow("register") << true << QByteArray("/api/auth/register");
    }
    void successFillsStateAndSettings() {
        QFETCH(bool, registerAccount);
        QFETCH(QByteArray, path);
        server->setDefaultReply(RecordingServer::json(200, "{\"token\":\"tok-1\",\"user\":{\"id\":1}}"));
        LoginDialog dialog;
        dialog.accountEdit()->setText(QStringLiteral(" alice "));
        dialog.passwordEdit()->setText(QStringLiteral("密码 1"));
        dialog.rememberPasswordBox()->setChecked(true);
        dialog.autoLoginBox()->setChecked(true);
        dialog.submit(registerAccount);

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const RecordingServer::Request request = server->lastRequest();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, path);
        QVERIFY(!request.hasHeader("Authorization"));
        QCOMPARE(bodyOf(request), (QJsonObject{{"username", " alice "}, {"password", "密码 1"}}));
        QCOMPARE(signInState().username, QStringLiteral(" alice "));
        QCOMPARE(signInState().password, QStringLiteral("密码 1"));
        QCOMPARE(signInState().token, QStringLiteral("tok-1"));
        QCOMPARE(settings::lastUsername(), QStringLiteral(" alice "));
        QVERIFY(settings::rememberPassword());
        QVERIFY(settings::autoLogin());
        QCOMPARE(app::unprotectLocal(settings::protectedPassword()), QStringLiteral("密码 1"));
        QVERIFY(dialog.signInButton()->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }

    void uncheckingRememberClearsStoredPassword() {
        rememberSignIn(QStringLiteral("alice"), QStringLiteral("pw-1"), true, false);
        server->setDefaultReply(RecordingServer::json(200, "{\"token\":\"t\"}"));
        LoginDialog dialog;
        QCOMPARE(dialog.passwordEdit()->text(), QStringLiteral("pw-1"));
        dialog.rememberPasswordBox()->setChecked(false);
        dialog.submit(false);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(settings::protectedPassword(), QString());
        QVERIFY(!settings::rememberPassword());
    }

    void returnInEitherFieldSignsInNeverRegisters_data() {
        QTest::addColumn<bool>("inAccountField");
        QTest::newRow("account field") << true;
        QTest::newRow("password field") << false;
    }
    void returnInEitherFieldSignsInNeverRegisters() {
        QFETCH(bool, inAccountField);
        server->setDefaultReply(RecordingServer::json(401, "{\"error\":\"bad\"}"));
        LoginDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.accountEdit()->setText(QStringLiteral("alice"));
        dialog.passwordEdit()->setText(QStringLiteral("pw"));
        QLineEdit* field = inAccountField ? dialog.accountEdit() : dialog.passwordEdit();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(server->requests().size(), 1);
        QTest::qWait(50);
        QCOMPARE(server->requests().size(), 1);
        QCOMPARE(server->lastRequest().path, QByteArray("/api/auth/login"));
        QVERIFY(dialog.isVisible());
    }

    // A Cloud API that misbehaves leaves the dialog usable, shows the failure and stores nothing.
    void badAnswersLeaveDialogUsable_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<bool>("hang");
        QTest::addColumn<QString>("text");
        QTest::newRow("garbage") << 200 << QByteArray("\x01\x02 garbage {{{")
                                 << QByteArray("application/json") << false
                                 << QStringLiteral("失败: 回复格式错误");
        QTest::newRow("html error page")
            << 502 << QByteArray("<html><body><h1>502 Bad Gateway</h1></body></html>")
            << QByteArray("text/html") << false << QStringLiteral("失败: HTTP 502");
        QTest::newRow("200 without token")
            << 200 << QByteArray("{\"ok\":true}") << QByteArray("application/json") << false
            << QStringLiteral("失败: 回复格式错误");
        QTest::newRow("401 with error")
            << 401 << QByteArray("{\"error\":\"账号或密码错误\"}") << QByteArray("application/json") << false
            << QStringLiteral("失败: 账号或密码错误");
        QTest::newRow("token with error status")
            << 500 << QByteArray("{\"token\":\"t\"}") << QByteArray("application/json") << false
            << QStringLiteral("失败: HTTP 500");
        QTest::newRow("huge non-JSON body")
            << 200 << QByteArray(8 * 1024 * 1024, 'x') << QByteArray("text/plain") << false
            << QStringLiteral("失败: 回复格式错误");
        QTest::newRow("never answers") << 200 << QByteArray() << QByteArray("application/json") << true
                                       << QStringLiteral("失败: 请求失败");
        QTest::newRow("markup in the error")
            << 401 << QByteArray("{\"error\":\"<img src='/dev/zero'>\"}") << QByteArray("application/json")
            << false << QStringLiteral("失败: <img src='/dev/zero'>");
    }
    void badAnswersLeaveDialogUsable() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        QFETCH(bool, hang);
        QFETCH(QString, text);
        net::timing.blockingIdleTimeoutMs = 400;
        rememberSignIn(QStringLiteral("previous"), QString(), false, false);
        RecordingServer::Reply reply{status, body, contentType};
        reply.hang = hang;
        server->setDefaultReply(reply);

        LoginDialog dialog;
        dialog.accountEdit()->setText(QStringLiteral("alice"));
        dialog.passwordEdit()->setText(QStringLiteral("pw"));
        dialog.rememberPasswordBox()->setChecked(true);
        dialog.submit(false);

        QCOMPARE(dialog.statusLabel()->text(), text);
        QVERIFY(testsupport::showsPlainText(dialog.statusLabel()));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(dialog.signInButton()->isEnabled());
        QVERIFY(dialog.registerButton()->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(dialog.accountEdit()->text(), QStringLiteral("alice"));
        QCOMPARE(dialog.passwordEdit()->text(), QStringLiteral("pw"));
        QCOMPARE(signInState().token, QString());
        QCOMPARE(settings::lastUsername(), QStringLiteral("previous"));
        QVERIFY(!settings::rememberPassword());
        QCOMPARE(settings::protectedPassword(), QString());
    }

    // The request waits in a nested event loop; closing the dialog meanwhile (Escape or the close
    // button) means leaving, even when the answer that arrives afterwards carries a token.
    void closingWhileSigningInSignsNothingIn_data() {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("escape") << true;
        QTest::newRow("close button") << false;
    }
    void closingWhileSigningInSignsNothingIn() {
        QFETCH(bool, byEscape);
        rememberSignIn(QStringLiteral("previous"), QString(), false, false);
        RecordingServer::Reply reply = RecordingServer::json(200, "{\"token\":\"late\"}");
        reply.delayMs = 400;
        server->setDefaultReply(reply);
        LoginDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.accountEdit()->setText(QStringLiteral("alice"));
        dialog.passwordEdit()->setText(QStringLiteral("pw"));
        dialog.rememberPasswordBox()->setChecked(true);
        QTimer::singleShot(50, &dialog, [&dialog, byEscape] {
            if (byEscape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
        });
        dialog.submit(false);

        QCOMPARE(server->requests().size(), 1);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(signInState().token, QString());
        QCOMPARE(settings::lastUsername(), QStringLiteral("previous"));
        QVERIFY(!settings::rememberPassword());
        QVERIFY(!QApplication::overrideCursor());
    }

    void hugeJsonFailureIsCutToFit() {
        QByteArray huge = "{\"error\":\"" + QByteArray(2 * 1024 * 1024, 'e') + "\"}";
        server->setDefaultReply(RecordingServer::json(500, huge));
        LoginDialog dialog;
        dialog.accountEdit()->setText(QStringLiteral("alice"));
        dialog.passwordEdit()->setText(QStringLiteral("pw"));
        dialog.submit(false);
        QCOMPARE(dialog.statusLabel()->text().size(), account::kMaxFailureTextLength);
        QVERIFY(dialog.statusLabel()->text().startsWith(QStringLiteral("失败: eee")));
        QCOMPARE(dialog.width(), 430);
    }

    void proxyButtonOpensProxyDialogOnly() {
        QString title;
        ui::testing::queueDialog([&title](QDialog& d) {
            title = d.windowTitle();
            return int(QDialog::Rejected);
        });
        LoginDialog dialog;
        dialog.proxyButton()->click();
        QCOMPARE(title, QStringLiteral("代理设置"));
        QVERIFY(server->requests().isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
};

ONDIVO_TEST_MAIN_GUI(TestLoginDialog)
#include "tst_logindialog.moc"
