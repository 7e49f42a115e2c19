#include "TestMain.h"

#include "account/SignInRules.h"
#include "app/LocalProtection.h"
#include "app/Settings.h"

#include <QJsonArray>

class TestSignInRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { testsupport::clearSettings(); }

    void tokenOnlyFromSuccessfulReplies_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("token");
        const QJsonObject withToken{{"token", "t-1"}};
        QTest::newRow("200 with token") << 200 << withToken << "t-1";
        QTest::newRow("201 with token") << 201 << withToken << "t-1";
        QTest::newRow("200 without token") << 200 << QJsonObject{{"ok", true}} << QString();
        QTest::newRow("200 empty object") << 200 << QJsonObject() << QString();
        QTest::newRow("300 with token") << 300 << withToken << QString();
        QTest::newRow("401 with token") << 401 << withToken << QString();
        QTest::newRow("empty token text") << 200 << QJsonObject{{"token", ""}} << QString();
        QTest::newRow("numeric token") << 200 << QJsonObject{{"token", 42}} << QString();
        QTest::newRow("null token") << 200 << QJsonObject{{"token", QJsonValue::Null}} << QString();
    }
    void tokenOnlyFromSuccessfulReplies() {
        QFETCH(int, status);
        QFETCH(QJsonObject, reply);
        QFETCH(QString, token);
        QCOMPARE(account::issuedToken(status, reply), token);
    }

    // The sign-in dialog states a failure as every page does; a success without a token is malformed.
    void failureTextFollowsTheOneFailureRule_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("network failure") << 0 << QJsonObject() << QStringLiteral("失败: 请求失败");
        QTest::newRow("error member")
            << 401 << QJsonObject{{"error", "账号或密码错误"}} << QStringLiteral("失败: 账号或密码错误");
        QTest::newRow("several members")
            << 500 << QJsonObject{{"code", 7}, {"message", "x"}} << QStringLiteral("失败: HTTP 500");
        QTest::newRow("success without token")
            << 200 << QJsonObject{{"ok", true}} << QStringLiteral("失败: 回复格式错误");
    }
    void failureTextFollowsTheOneFailureRule() {
        QFETCH(int, status);
        QFETCH(QJsonObject, reply);
        QFETCH(QString, text);
        QCOMPARE(account::failureText(status, reply), text);
    }

    void hugeFailureReplyIsCut() {
        QJsonArray many;
        for (int i = 0; i < 20000; ++i)
            many.append(i);
        const QString text =
            account::failureText(500, QJsonObject{{"error", QString(20000, QLatin1Char('e'))}});
        QCOMPARE(text.size(), account::kMaxFailureTextLength);
        QVERIFY(text.startsWith(QStringLiteral("失败: eee")));
        QVERIFY(text.endsWith(QChar(0x2026)));
    }

    void automaticSignInNeedsBothFields_data() {
        QTest::addColumn<bool>("autoLogin");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("expected");
        QTest::newRow("all set") << true << "alice"
                                 << "pw" << true;
        QTest::newRow("no password") << true << "alice"
                                     << "" << false;
        QTest::newRow("no account") << true << ""
                                    << "pw" << false;
        QTest::newRow("auto off") << false << "alice"
                                  << "pw" << false;
    }
    void automaticSignInNeedsBothFields() {
        QFETCH(bool, autoLogin);
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(bool, expected);
        QCOMPARE(account::shouldSignInAutomatically(autoLogin, account, password), expected);
    }

    void requestShape() {
        QCOMPARE(account::signInPath(false), QStringLiteral("/api/auth/login"));
        QCOMPARE(account::signInPath(true), QStringLiteral("/api/auth/register"));
        const QJsonObject body = account::signInBody(QStringLiteral(" alice "), QStringLiteral(" pw "));
        QCOMPARE(body.value("username").toString(), QStringLiteral(" alice "));
        QCOMPARE(body.value("password").toString(), QStringLiteral(" pw "));
        QCOMPARE(body.size(), 2);
    }

    void rememberedValuesRoundTrip() {
        account::storeRememberedSignIn({QStringLiteral("alice"), QStringLiteral("密码 1"), true, true});
        QVERIFY(!settings::protectedPassword().isEmpty());
        QVERIFY(settings::protectedPassword() != QStringLiteral("密码 1"));
        const account::RememberedSignIn loaded = account::loadRememberedSignIn();
        QCOMPARE(loaded.account, QStringLiteral("alice"));
        QCOMPARE(loaded.password, QStringLiteral("密码 1"));
        QVERIFY(loaded.rememberPassword);
        QVERIFY(loaded.autoLogin);
    }

    void uncheckingRememberForgetsStoredPassword() {
        account::storeRememberedSignIn({QStringLiteral("alice"), QStringLiteral("pw"), true, false});
        QVERIFY(!settings::protectedPassword().isEmpty());
        account::storeRememberedSignIn({QStringLiteral("alice"), QStringLiteral("pw"), false, false});
        QCOMPARE(settings::protectedPassword(), QString());
        QCOMPARE(account::loadRememberedSignIn().password, QString());
    }

    void storedPasswordIgnoredWhenRememberIsOff() {
        settings::writeText(settings::key::protectedPassword, app::protectLocal(QStringLiteral("pw")));
        settings::writeBool(settings::key::rememberPassword, false);
        QCOMPARE(account::loadRememberedSignIn().password, QString());
    }

    void undecryptableStoredPasswordLoadsEmpty() {
        settings::writeBool(settings::key::rememberPassword, true);
        settings::writeText(settings::key::protectedPassword, QStringLiteral("bm90IGEgYmxvYg=="));
        QCOMPARE(account::loadRememberedSignIn().password, QString());
    }
};

ONDIVO_TEST_MAIN_CORE(TestSignInRules)
#include "tst_signinrules.moc"
