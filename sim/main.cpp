// ondivo-sim: the Cloud API and a fleet of Agents on 127.0.0.1 for tests and the demo.
#include "Simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ondivo-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local Cloud API and Node Agents for Ondivo tests and demos."));
    parser.addHelpOption();
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Directory for uploads and media."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Cloud API port (0 = any free port)."), QStringLiteral("N"),
                                  QStringLiteral("0"));
    const QCommandLineOption demo(
        QStringLiteral("demo"), QStringLiteral("Seed a demo account with Nodes, rooms, proxies and files."));
    const QCommandLineOption package(QStringLiteral("client-package"),
                                     QStringLiteral("Client release package to serve."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption version(QStringLiteral("client-version"),
                                     QStringLiteral("Version of that package."), QStringLiteral("V"));
    const QCommandLineOption agents(QStringLiteral("agents"),
                                    QStringLiteral("Extra Agents to start (without --demo)."),
                                    QStringLiteral("N"), QStringLiteral("0"));
    parser.addOptions({dataDir, port, demo, package, version, agents});
    parser.process(app);

    bool portOk = false;
    const int cloudPort = parser.value(port).toInt(&portOk);
    if (!portOk || cloudPort < 0 || cloudPort > 65535) {
        QTextStream(stderr) << "ondivo-sim: invalid --port\n";
        return 2;
    }
    sim::Simulator::Options options;
    options.dataDir = parser.value(dataDir);
    options.cloudPort = cloudPort;
    sim::Simulator simulator(options);
    if (!simulator.start()) {
        QTextStream(stderr) << "ondivo-sim: cannot listen on 127.0.0.1:" << cloudPort << "\n";
        return 1;
    }
    if (parser.isSet(package) &&
        !simulator.setClientPackageFile(parser.value(package), parser.value(version))) {
        QTextStream(stderr) << "ondivo-sim: cannot read client package " << parser.value(package) << "\n";
        return 1;
    }
    if (parser.isSet(version) && !parser.isSet(package))
        simulator.setClientRelease(parser.value(version), QJsonObject());
    for (int i = 0; i < parser.value(agents).toInt(); ++i)
        simulator.startAgent();
    if (parser.isSet(demo)) {
        const auto account = simulator.seedDemo();
        QTextStream(stderr) << "Demo account: " << account.username << " / " << account.password << "\n";
    }

    std::printf("%s\n", simulator.announcement().toUtf8().constData());
    std::fflush(stdout);

    // SIGINT/SIGTERM end the event loop so the simulator stops cleanly.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    const int rc = app.exec();
    simulator.stop();
    return rc;
}
