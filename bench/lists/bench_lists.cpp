// How long the files page and the bridge page hold up the GUI thread when an Agent lists far more than a
// page shows (100,000 videos and 100,000 audio folders, 25,000 bridges), and the peak memory that costs.
// Reference measured in the same run: the same lists fetched without a cap, parsed on the GUI thread and
// written row by row into a table, as the pages did before they bounded their lists.
//
// Usage: bench_lists [--videos N] [--folders N] [--bridges N] [--sim PATH]
// It starts `ondivo-sim --agents 1` (beside the benchmark unless --sim is given), makes the Agent list the
// synthetic entries through the control route, and drives the real pages on a fake shell.

#include "BenchSupport.h"
#include "FakeShell.h"
#include "files/FilesPage.h"
#include "fleet/ListRows.h"
#include "net/RequestLayer.h"
#include "proxy/BridgePage.h"
#include "proxy/ProxyTiming.h"
#include "ui/Dialogs.h"
#include "widgets/PercentTableWidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUrl>
#include <functional>

namespace {

// The longest gap between two ticks of a 5 ms precise timer beyond the tick itself: the worst stall.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kTickMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            worstNs_ = std::max(worstNs_, now - lastNs_);
            lastNs_ = now;
        });
        clock_.start();
    }
    void start() {
        lastNs_ = clock_.nsecsElapsed();
        worstNs_ = 0;
        timer_.start();
    }
    // Stops and gives the worst stall, counting the gap up to now (a stall at the very end counts too).
    double stopMs() {
        worstNs_ = std::max(worstNs_, clock_.nsecsElapsed() - lastNs_);
        timer_.stop();
        return std::max<qint64>(0, worstNs_ - kTickMs * 1000000) / 1e6;
    }

private:
    static constexpr int kTickMs = 5;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastNs_ = 0;
    qint64 worstNs_ = 0;
};

// Runs the event loop until done() holds or limitMs passed.
void waitUntil(const std::function<bool()>& done, qint64 limitMs) {
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || timer.elapsed() >= limitMs)
            loop.quit();
    });
    check.start();
    if (!done())
        loop.exec();
}

// The first Agent of the simulator's announcement line as a Node, and the Cloud API's origin.
bool readAgent(QProcess& simulator, Node& node, QString& cloud) {
    QByteArray buffer;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000) {
        if (!simulator.waitForReadyRead(1000) && simulator.state() != QProcess::Running)
            return false;
        buffer += simulator.readAllStandardOutput();
        const qsizetype start = buffer.indexOf("ONDIVO_SIM ");
        const qsizetype end = buffer.indexOf('\n', start);
        if (start < 0 || end < 0)
            continue;
        const QJsonObject line = QJsonDocument::fromJson(buffer.mid(start + 11, end - start - 11)).object();
        cloud = line.value(QLatin1String("cloud")).toString();
        const QJsonObject agent = line.value(QLatin1String("agents")).toArray().first().toObject();
        const QUrl url(agent.value(QLatin1String("url")).toString());
        node.id = QStringLiteral("bench-lists");
        node.displayName = QStringLiteral("长列表节点");
        node.name = agent.value(QLatin1String("name")).toString();
        node.host = url.host();
        node.agentApi.host = url.host();
        node.agentApi.port = url.port();
        node.agentApi.token = agent.value(QLatin1String("token")).toString();
        return true;
    }
    return false;
}

// POST to the simulator's control route: this many synthetic entries from now on.
bool setLists(const QString& cloud, const QString& agent, int videos, int folders, int bridges) {
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(cloud + QStringLiteral("/__sim/agent")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QJsonObject lists{{QStringLiteral("videos"), videos},
                            {QStringLiteral("folders"), folders},
                            {QStringLiteral("bridges"), bridges}};
    QNetworkReply* reply = manager.post(
        request,
        QJsonDocument(QJsonObject{{QStringLiteral("name"), agent}, {QStringLiteral("syntheticLists"), lists}})
            .toJson(QJsonDocument::Compact));
    waitUntil([reply] { return reply->isFinished(); }, 10000);
    const bool ok = reply->isFinished() && reply->error() == QNetworkReply::NoError;
    delete reply;
    return ok;
}

// A GET with no cap on an access manager of this thread: the whole body.
QByteArray fetchWhole(const Node& node, const QString& path) {
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(net::agentNetworkRequest(node, path));
    waitUntil([reply] { return reply->isFinished(); }, 120000);
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}

// The reference: the whole list parsed on this thread and every element written into a table.
int fillUncapped(QTableWidget& table, const QByteArray& body, const QString& member, int columns) {
    const QJsonArray items = QJsonDocument::fromJson(body).object().value(member).toArray();
    table.setRowCount(0);
    table.setRowCount(int(items.size()));
    for (int r = 0; r < items.size(); ++r) {
        const QJsonObject item = items.at(r).toObject();
        const QStringList keys = item.keys();
        for (int c = 0; c < columns; ++c) {
            auto* cell = new QTableWidgetItem(
                keys.isEmpty() ? QString() : item.value(keys.at(c % keys.size())).toVariant().toString());
            cell->setTextAlignment(Qt::AlignCenter);
            table.setItem(r, c, cell);
        }
    }
    return int(items.size());
}

struct Figures {
    double stallMs = 0;
    qint64 elapsedMs = 0;
    int rows = 0;
    QString status;
};

Figures timeFilesPage(testsupport::FakeShell& shell, FilesPage& page) {
    StallMeter meter;
    QElapsedTimer clock;
    clock.start();
    meter.start();
    page.load(true);
    QApplication::processEvents();
    Figures figures;
    figures.stallMs = meter.stopMs();
    figures.elapsedMs = clock.elapsed();
    figures.rows = page.videoTable()->rowCount() + page.audioTable()->rowCount();
    figures.status = shell.statusText();
    return figures;
}

Figures timeBridgePage(testsupport::FakeShell& shell, proxy::BridgePage& page) {
    StallMeter meter;
    QElapsedTimer clock;
    clock.start();
    meter.start();
    page.refreshBridges(true);
    waitUntil([&shell] { return shell.poller(shell::PollKind::BridgeStatus).waitingCount() == 0; }, 120000);
    QApplication::processEvents();
    Figures figures;
    figures.stallMs = meter.stopMs();
    figures.elapsedMs = clock.elapsed();
    figures.rows = page.table()->rowCount();
    figures.status = shell.statusText();
    return figures;
}

void print(QTextStream& out, const QString& what, const Figures& f) {
    out << what << ": longest stall " << QString::number(f.stallMs, 'f', 1) << " ms, " << f.elapsedMs
        << " ms in all, " << f.rows << " rows; status line: " << f.status << "\n";
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption videosOption(QStringLiteral("videos"), QStringLiteral("Videos listed."),
                                          QStringLiteral("N"), QStringLiteral("100000"));
    const QCommandLineOption foldersOption(QStringLiteral("folders"), QStringLiteral("Audio folders listed."),
                                           QStringLiteral("N"), QStringLiteral("100000"));
    const QCommandLineOption bridgesOption(QStringLiteral("bridges"), QStringLiteral("Bridges listed."),
                                           QStringLiteral("N"), QStringLiteral("25000"));
    const QCommandLineOption simOption(QStringLiteral("sim"), QStringLiteral("Path of ondivo-sim."),
                                       QStringLiteral("PATH"));
    parser.addHelpOption();
    parser.addOptions({videosOption, foldersOption, bridgesOption, simOption});
    parser.process(app);
    const int videos = parser.value(videosOption).toInt();
    const int folders = parser.value(foldersOption).toInt();
    const int bridges = parser.value(bridgesOption).toInt();
    const QString simPath = parser.isSet(simOption)
                                ? parser.value(simOption)
                                : QCoreApplication::applicationDirPath() + QStringLiteral("/ondivo-sim");

    QTextStream out(stdout);
    QProcess simulator;
    simulator.start(simPath, {QStringLiteral("--agents"), QStringLiteral("1")});
    Node node;
    QString cloud;
    if (!simulator.waitForStarted() || !readAgent(simulator, node, cloud) ||
        !setLists(cloud, node.name, videos, folders, bridges)) {
        out << "cannot start " << simPath << "\n";
        return 1;
    }
    ui::testing::setScripted(true);
    // A simulator building 25,000 bridges on a busy machine may stay silent longer than a poll's idle limit.
    proxy::timing.pollIdleMs = 120000;
    testsupport::FakeShell shell;
    shell.setNodes({node});
    auto* filesPage = new FilesPage(shell);
    auto* bridgePage = new proxy::BridgePage(shell);
    shell.host(filesPage, true);
    shell.host(bridgePage);
    out << "lists: " << videos << " videos, " << folders << " audio folders, " << bridges << " bridges; "
        << net::limits::kListRowsPerNode << " rows per Node, list replies up to "
        << net::limits::kListReplyMaxBytes / (1024 * 1024) << " MiB\n";

    // The pages as they are.
    const Figures files = timeFilesPage(shell, *filesPage);
    print(out, QStringLiteral("files page"), files);
    bridgePage->show();
    const Figures bridgeFigures = timeBridgePage(shell, *bridgePage);
    print(out, QStringLiteral("bridge page"), bridgeFigures);
    // Lists that fit under the reply cap but hold ten times the rows a page shows: the cut lists.
    const int underCap = net::limits::kListRowsPerNode * 10;
    setLists(cloud, node.name, underCap, underCap, bridges);
    const Figures cut = timeFilesPage(shell, *filesPage);
    print(out, QStringLiteral("files page, %1 + %1 (under the reply cap)").arg(underCap), cut);
    const qint64 pagesPeakKiB = bench::peakResidentKiB();
    out << "peak memory after the pages: " << pagesPeakKiB / 1024 << " MiB\n";

    // The reference: uncapped, parsed and filled on the GUI thread.
    setLists(cloud, node.name, videos, folders, bridges);
    QTableWidget table(0, 13);
    table.resize(1000, 600);
    table.show();
    const QByteArray videoBody = fetchWhole(node, QStringLiteral("/files/videos"));
    const QByteArray folderBody = fetchWhole(node, QStringLiteral("/files/audio-folders"));
    const QByteArray bridgeBody = fetchWhole(node, QStringLiteral("/proxy/bridges"));
    StallMeter meter;
    meter.start();
    QElapsedTimer clock;
    clock.start();
    int referenceRows = fillUncapped(table, videoBody, QStringLiteral("files"), 5);
    referenceRows += fillUncapped(table, folderBody, QStringLiteral("folders"), 5);
    QApplication::processEvents();
    Figures referenceFiles{meter.stopMs(), clock.elapsed(), referenceRows, QString()};
    meter.start();
    clock.restart();
    Figures referenceBridges{0, 0, fillUncapped(table, bridgeBody, QStringLiteral("bridges"), 13), QString()};
    QApplication::processEvents();
    referenceBridges.stallMs = meter.stopMs();
    referenceBridges.elapsedMs = clock.elapsed();
    out << "reference files (uncapped, " << (videoBody.size() + folderBody.size()) / 1024
        << " KiB parsed and filled at once): longest stall "
        << QString::number(referenceFiles.stallMs, 'f', 1) << " ms, " << referenceFiles.rows << " rows\n";
    out << "reference bridges (uncapped, " << bridgeBody.size() / 1024 << " KiB): longest stall "
        << QString::number(referenceBridges.stallMs, 'f', 1) << " ms, " << referenceBridges.rows << " rows\n";
    out << "peak memory after the reference: " << bench::peakResidentKiB() / 1024 << " MiB\n";
    auto ratio = [](double a, double b) {
        return b > 0 ? QString::number(a / b, 'f', 3) : QStringLiteral("--");
    };
    out << "ratio of stalls, page / reference: files " << ratio(files.stallMs, referenceFiles.stallMs)
        << " (cut lists " << ratio(cut.stallMs, referenceFiles.stallMs) << "), bridges "
        << ratio(bridgeFigures.stallMs, referenceBridges.stallMs) << "\n";
    out << "aim: no stall of the pages over 250 ms\n";
    out.flush();
    delete filesPage;
    delete bridgePage;
    simulator.terminate();
    simulator.waitForFinished(5000);
    return 0;
}
