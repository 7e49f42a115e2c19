#pragma once

#include "account/AccountTiming.h"

#include <QJsonObject>
#include <QString>

// What the sign-in dialog decides without a window: the request it sends, when a reply signs the user
// in, the failure text, and which values it remembers.
namespace account {

// Longest failure text the status label shows; a runaway reply is cut there.
inline constexpr int kMaxFailureTextLength = 600;

QString signInPath(bool registerAccount);
QJsonObject signInBody(const QString& account, const QString& password);

// The bearer token when the reply signs the user in (status below 300 and a non-empty text "token"),
// else the empty text.
QString issuedToken(int status, const QJsonObject& reply);

// "失败: " followed by the reason every page shows for a failed request; a reply that says it succeeded
// but gives no token is malformed ("回复格式错误"). Cut to kMaxFailureTextLength characters.
QString failureText(int status, const QJsonObject& reply);

bool shouldSignInAutomatically(bool autoLogin, const QString& account, const QString& password);

struct RememberedSignIn {
    QString account;
    QString password; // empty unless the password is remembered and could be unwrapped
    bool rememberPassword = false;
    bool autoLogin = false;
};

RememberedSignIn loadRememberedSignIn();

// Written only after a successful sign-in; unticking "保存密码" forgets the stored password.
void storeRememberedSignIn(const RememberedSignIn& values);

// Signing out: the stored password and the automatic sign-in are forgotten, the account name stays
// for the next sign-in.
void forgetSignIn();

// The automatic sign-in switched from the settings page. It needs the password, so switching it on
// also remembers the password of the session; switching it off leaves the password as it is.
void setAutoSignIn(bool on, const QString& sessionPassword);

} // namespace account
