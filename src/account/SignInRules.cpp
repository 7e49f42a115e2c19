#include "account/SignInRules.h"

#include "app/LocalProtection.h"
#include "app/Settings.h"
#include "net/RequestResult.h"

namespace account {

QString signInPath(bool registerAccount) {
    return registerAccount ? QStringLiteral("/api/auth/register") : QStringLiteral("/api/auth/login");
}

QJsonObject signInBody(const QString& account, const QString& password) {
    // Sent exactly as typed: blanks around an account name or password are part of it.
    return QJsonObject{{QStringLiteral("username"), account}, {QStringLiteral("password"), password}};
}

QString issuedToken(int status, const QJsonObject& reply) {
    if (status >= 300)
        return QString();
    // An empty or non-text token would leave every later request unauthenticated.
    const QJsonValue token = reply.value(QLatin1String("token"));
    return token.isString() ? token.toString() : QString();
}

QString failureText(int status, const QJsonObject& reply) {
    const net::RequestResult result{status, reply};
    QString text =
        QStringLiteral("失败: ") + (result.failed() ? result.text() : QStringLiteral("回复格式错误"));
    if (text.size() > kMaxFailureTextLength)
        text = text.left(kMaxFailureTextLength - 1) + QChar(0x2026);
    return text;
}

bool shouldSignInAutomatically(bool autoLogin, const QString& account, const QString& password) {
    return autoLogin && !account.isEmpty() && !password.isEmpty();
}

RememberedSignIn loadRememberedSignIn() {
    RememberedSignIn values;
    values.account = settings::lastUsername();
    values.rememberPassword = settings::rememberPassword();
    values.autoLogin = settings::autoLogin();
    if (values.rememberPassword)
        values.password = app::unprotectLocal(settings::protectedPassword());
    return values;
}

void storeRememberedSignIn(const RememberedSignIn& values) {
    settings::writeText(settings::key::lastUsername, values.account);
    settings::writeBool(settings::key::rememberPassword, values.rememberPassword);
    settings::writeBool(settings::key::autoLogin, values.autoLogin);
    settings::writeText(settings::key::protectedPassword,
                        values.rememberPassword ? app::protectLocal(values.password) : QString());
}

void forgetSignIn() {
    settings::writeText(settings::key::protectedPassword, QString());
    settings::writeBool(settings::key::autoLogin, false);
}

void setAutoSignIn(bool on, const QString& sessionPassword) {
    settings::writeBool(settings::key::autoLogin, on);
    if (!on || sessionPassword.isEmpty())
        return;
    settings::writeBool(settings::key::rememberPassword, true);
    settings::writeText(settings::key::protectedPassword, app::protectLocal(sessionPassword));
}

} // namespace account
