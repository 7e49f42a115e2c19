// Sealed envelopes come from the Cloud API: a damaged or hostile one must be refused, never crash. The
// key derivation is slow by design, so inputs that reuse a salt are the fast path here.
#include "crypto/NodeEnvelope.h"
#include "model/SignInState.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool signedIn = [] {
        signInState() =
            SignInState{QStringLiteral("alice@example.com"), QStringLiteral("Pässw0rd!"), QString()};
        return true;
    }();
    (void)signedIn;
    crypto::openNode(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
