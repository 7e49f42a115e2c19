#include "model/SignInState.h"

SignInState& signInState() {
    static SignInState state;
    return state;
}
