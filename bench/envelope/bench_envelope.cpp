// Opening the Node list costs one 100000-iteration key derivation per envelope. This measures one
// derivation, a cold open of 50 envelopes (keys derived in parallel), and a warm reopen (keys from
// the session cache), and relates the cold time to the ideal 50 x one derivation / cores.
#include "crypto/CryptoPrimitives.h"
#include "crypto/NodeEnvelope.h"
#include "model/SignInState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QThreadPool>
#include <cstdio>

namespace {

double millisecondsOf(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 50;
    signInState() = {QStringLiteral("bench@example.com"), QStringLiteral("benchmark password"), QString()};

    QStringList envelopes;
    for (int i = 0; i < count; ++i) {
        Node node;
        node.name = QStringLiteral("node-%1").arg(i);
        node.host = QStringLiteral("198.51.100.%1").arg(i % 250);
        node.privateKey = QStringLiteral("KEY-%1").arg(i);
        envelopes << crypto::sealNode(node);
    }

    const QByteArray salt = crypto::randomBytes(16);
    const double one = millisecondsOf([&] {
        crypto::pbkdf2Sha256("bench@example.com:benchmark password", salt, crypto::kEnvelopeIterations, 32);
    });

    crypto::clearKeyCache();
    int opened = 0;
    const double cold = millisecondsOf([&] {
        for (const auto& node : crypto::openNodes(envelopes))
            opened += node.has_value() ? 1 : 0;
    });
    const double warm = millisecondsOf([&] { crypto::openNodes(envelopes); });
    const int cores = QThreadPool::globalInstance()->maxThreadCount();
    const double ideal = count * one / cores;

    std::printf("envelopes: %d opened: %d cores: %d\n", count, opened, cores);
    std::printf("one derivation: %.1f ms\n", one);
    std::printf("cold open of %d: %.1f ms\n", count, cold);
    std::printf("warm reopen of %d: %.2f ms\n", count, warm);
    std::printf("ratio cold / (n x one / cores): %.2f\n", cold / ideal);
    std::printf("ratio warm / cold: %.4f\n", warm / cold);
    crypto::clearKeyCache();
    return opened == count ? 0 : 1;
}
