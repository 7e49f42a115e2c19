#pragma once

#include <QString>

// The signed-in account for the whole run: filled once by a successful sign-in, never cleared.
struct SignInState {
    QString username;
    QString password; // plain; half of the Node envelope passphrase
    QString token;    // Cloud API bearer token
};

SignInState& signInState();
