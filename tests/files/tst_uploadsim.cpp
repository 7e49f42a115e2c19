// The upload engine against the simulated Agent over real sockets, with chunk failures and dropped
// connections injected.
#include "RecordingServer.h"
#include "Simulator.h"
#include "TestMain.h"
#include "files/AgentUploadTransport.h"
#include "files/AudioUploadBatch.h"
#include "files/FilesTiming.h"
#include "files/UploadRules.h"
#include "files/VideoUploadScheduler.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QtConcurrent>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

using namespace files;

namespace {

constexpr qint64 kMiB = 1 << 20;

// SHA-256 of a file; holes of a sparse file are fed as zeros without reading them.
QByteArray sha256Of(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return {};
    const off_t size = ::lseek(fd, 0, SEEK_END);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    std::vector<char> block(8 * kMiB);
    const std::vector<char> zeros(8 * kMiB, 0);
    for (off_t at = 0; at < size;) {
        off_t data = ::lseek(fd, at, SEEK_DATA);
        data = data < 0 ? size : data;
        for (; at < data; at += std::min<off_t>(data - at, off_t(zeros.size())))
            EVP_DigestUpdate(context, zeros.data(), size_t(std::min<off_t>(data - at, off_t(zeros.size()))));
        const off_t hole = data < size ? ::lseek(fd, data, SEEK_HOLE) : size;
        for (ssize_t n = 0; at < hole; at += n) {
            n = ::pread(fd, block.data(), size_t(std::min<off_t>(hole - at, off_t(block.size()))), at);
            if (n <= 0)
                break;
            EVP_DigestUpdate(context, block.data(), size_t(n));
        }
    }
    ::close(fd);
    unsigned char digest[32];
    EVP_DigestFinal_ex(context, digest, nullptr);
    EVP_MD_CTX_free(context);
    return QByteArray(reinterpret_cast<char*>(digest), 32).toHex();
}

// Records which chunks go out and what the Agent said it held when asked at resume.
struct CountingTransport : AgentUploadTransport {
    using AgentUploadTransport::AgentUploadTransport;
    std::vector<qint64> sent;
    std::set<qint64> heldAtResume;
    TransferReply request(const QString& method, const QString& path, const QJsonObject& body) override {
        TransferReply reply = AgentUploadTransport::request(method, path, body);
        if (path.startsWith(QLatin1String("/files/upload/status"))) {
            heldAtResume.clear();
            for (const QJsonValue& v : reply.json.value("received").toArray())
                heldAtResume.insert(qint64(v.toDouble()));
        }
        return reply;
    }
    quint64 sendChunk(const QString& id, qint64 index, const QString& path, qint64 offset, qint64 length,
                      Progress p, Done d) override {
        sent.push_back(index);
        return AgentUploadTransport::sendChunk(id, index, path, offset, length, std::move(p), std::move(d));
    }
};

// Spins a real event loop (QTest::qWait sleeps between event batches, which starves the sockets).
bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(10);
    if (!done())
        loop.exec();
    return done();
}

// Waits as long as the upload keeps gaining confirmed chunks, and at most quietMs without one: a large
// file on a busy machine may need minutes, but a stuck upload still fails in bounded time.
template <typename Scheduler>
bool waitWhileProgressing(const Scheduler& scheduler, const std::function<bool()>& done, int quietMs) {
    qint64 confirmed = -1;
    while (scheduler.receivedCount() > confirmed) {
        confirmed = scheduler.receivedCount();
        if (waitUntil(done, quietMs))
            return true;
    }
    return done();
}

struct Upload {
    std::shared_ptr<CountingTransport> transport;
    std::shared_ptr<VideoUploadScheduler> scheduler;
    QStringList logs, failures;
    Upload(const Node& node) {
        transport = std::make_shared<CountingTransport>(node);
        scheduler = std::make_shared<VideoUploadScheduler>(transport, std::make_shared<SystemUploadClock>());
        UploadEvents events;
        events.log = [this](const QString& t) {
            logs << t;
        };
        events.failed = [this](const QString& t) {
            failures << t;
        };
        scheduler->setEvents(events);
    }
    bool settled() const { return !scheduler->busy(); }
};

} // namespace

class UploadSimTest : public QObject {
    Q_OBJECT
    sim::Simulator simulator;
    Node node;
    QTemporaryDir dir;

    QString randomFile(const QString& name, qint64 size) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
        file.write(bytes);
        return file.fileName();
    }
    QJsonArray sessions() { return simulator.snapshot("agent").value("uploads").toArray(); }
    std::set<qint64> receivedOnAgent(const QString& uploadId) {
        std::set<qint64> indices;
        for (const QJsonValue& session : sessions()) {
            if (session.toObject().value("uploadId").toString() != uploadId)
                continue;
            for (const QJsonValue& v : session.toObject().value("received").toArray())
                indices.insert(qint64(v.toDouble()));
        }
        return indices;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(simulator.start());
        sim::AgentOptions options;
        options.name = "agent";
        node = sim::Simulator::agentNode(simulator.startAgent(options), "n1");
        simulator.setSparseUploads("agent", true);
    }
    void init() {
        timing.firstRetryMs = 50;
        timing.secondRetryMs = 100;
        timing.thirdRetryMs = 150;
        timing.chunkIdleTimeoutMs = 3000; // a dropped connection the client misses ends by the idle limit
    }
    void cleanup() {
        simulator.setUploadFaults("agent", 0, 0);
        simulator.setUploadChunkSize("agent", 0);
        simulator.clearFaults();
    }

    // A hostile Agent: a chunk reply far over the cap is refused and a redirect is not followed, not even
    // on the same Agent (the chunk would be sent twice); either way the chunk fails, to be retried.
    void hostileChunkRepliesFail_data() {
        QTest::addColumn<bool>("redirect");
        QTest::newRow("endless reply") << false;
        QTest::newRow("redirect on the same Agent") << true;
    }
    void hostileChunkRepliesFail() {
        QFETCH(bool, redirect);
        testsupport::RecordingServer agent;
        testsupport::RecordingServer::Reply reply = testsupport::RecordingServer::json(200, "{}");
        reply.streamBytes = 64 * kMiB;
        reply.noContentLength = true;
        agent.setDefaultReply(redirect ? testsupport::RecordingServer::redirect(
                                             307, agent.baseUrl() + QStringLiteral("/files/upload/other"))
                                       : reply);
        Node hostile = node;
        hostile.agentApi.port = agent.port();
        AgentUploadTransport transport(hostile);
        const QString path = randomFile(QStringLiteral("hostile.mp4"), 1000);
        std::optional<TransferReply> result;
        transport.sendChunk(QStringLiteral("u"), 0, path, 0, 1000, {},
                            [&result](const TransferReply& done) { result = done; });
        QVERIFY(waitUntil([&] { return result.has_value(); }, 20000));
        QVERIFY(!result->networkError.isEmpty());
        QVERIFY(result->body.size() <= kReplyBodyCap);
        QCOMPARE(agent.requests().size(), 1);
    }

    // Sizes around the 4 and 8 MiB chunk edges and one sparse file above 4 GiB; every upload that fails
    // for good is resumed, and a resume sends only what the Agent does not hold yet.
    void uploadsSurviveFaults() {
        simulator.setUploadFaults("agent", 10, 5);
        QList<qint64> sizes{1,        4 * kMiB - 1, 4 * kMiB,         4 * kMiB + 1, 8 * kMiB - 1,
                            8 * kMiB, 8 * kMiB + 1, 12 * kMiB + 7,    3 * kMiB,     17,
                            65536,    4 * kMiB * 3, 4 * kMiB * 3 - 1, 999999,       5 * kMiB,
                            7 * kMiB, 9 * kMiB + 3, 2 * kMiB,         16 * kMiB + 1};
        int resumes = 0;
        for (int i = 0; i <= sizes.size(); ++i) {
            const bool sparse = i == sizes.size();
            const QString name = QStringLiteral("f%1.mp4").arg(i);
            QString path;
            if (sparse) { // 5 GiB + 3 bytes, data only at the ends: offsets beyond 32 bits on both sides
                path = dir.filePath(name);
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(5 * (qint64(1) << 30) + 3));
                file.write("head");
                file.seek(file.size() - 3);
                file.write("end");
            } else {
                path = randomFile(name, sizes[i]);
            }
            // The source is hashed on a worker while it uploads.
            QFuture<QByteArray> sourceDigest = QtConcurrent::run(sha256Of, path);
            Upload upload(node);
            upload.scheduler->start(path, name, false);
            for (int attempt = 0; attempt < 20; ++attempt) {
                QVERIFY2(waitWhileProgressing(
                             *upload.scheduler, [&] { return upload.settled(); }, 60000),
                         qPrintable(name));
                if (upload.scheduler->status() != "失败")
                    break;
                waitUntil([] { return false; }, 300); // aborted chunks may still land on the Agent
                const std::set<qint64> held = receivedOnAgent(upload.scheduler->uploadId());
                upload.transport->sent.clear();
                ++resumes;
                upload.scheduler->resume();
                for (const qint64 index : upload.transport->sent)
                    QVERIFY2(!held.count(index),
                             qPrintable(QStringLiteral("chunk %1 sent again").arg(index)));
            }
            QCOMPARE(upload.scheduler->status(), "完成");
            QCOMPARE(sha256Of(simulator.videoDirectory("agent") + '/' + name), sourceDigest.result());
            QFile::remove(simulator.videoDirectory("agent") + '/' + name);
        }
        qInfo("resumed %d times", resumes);
        QVERIFY(sessions().isEmpty());
    }

    // The Agent refuses every chunk after the first few: the upload fails, and "继续" sends none of the
    // chunks the Agent listed when asked at resume, none twice, and the stored file is the source. (A
    // chunk sent before the failure may land after any snapshot, even after the resume: the engine's
    // own view and the file's hash are the measure, not a count.)
    void resumeSendsOnlyMissingChunks() {
        constexpr qint64 kChunk = 256 * 1024;
        simulator.setUploadChunkSize("agent", kChunk);
        const QString path = randomFile("missing.mp4", 40 * kChunk);
        QFuture<QByteArray> sourceDigest = QtConcurrent::run(sha256Of, path);
        Upload upload(node);
        upload.scheduler->start(path, "missing.mp4", false);
        QVERIFY(waitUntil([&] { return upload.scheduler->receivedCount() >= 2; }, 20000));
        sim::Fault refuse;
        refuse.status = 500;
        simulator.setFault("agent", "POST", "/files/upload/chunk", refuse);
        QVERIFY(waitUntil([&] { return upload.scheduler->status() == "失败"; }, 20000));
        simulator.clearFaults();
        upload.transport->sent.clear();
        upload.scheduler->resume();
        QVERIFY(waitUntil([&] { return upload.scheduler->status() == "完成"; }, 30000));
        const std::set<qint64>& held = upload.transport->heldAtResume;
        QVERIFY(held.size() >= 2 && held.size() < 40);
        std::set<qint64> sent;
        for (const qint64 index : upload.transport->sent) {
            QVERIFY2(!held.count(index), qPrintable(QStringLiteral("chunk %1 sent again").arg(index)));
            QVERIFY2(sent.insert(index).second, qPrintable(QStringLiteral("chunk %1 sent twice").arg(index)));
        }
        QCOMPARE(sha256Of(simulator.videoDirectory("agent") + "/missing.mp4"), sourceDigest.result());
    }

    // An Agent whose replies claim numbers it cannot mean: every one ends in a clear failure within a
    // few requests, or is ignored where it names no chunk of the session; never a flood of requests,
    // never a completion with a chunk missing.
    void hostileAgentNumbers_data() {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QString>("route");
        QTest::addColumn<QByteArray>("members");
        QTest::addColumn<QString>("failure"); // empty: the upload completes
        QTest::addColumn<int>("maxChunkRequests");
        const QString start = "/files/upload/start";
        const QString chunk = "/files/upload/chunk";
        for (const bool audio : {false, true}) {
            const char* kind = audio ? "audio" : "video";
            // One file of two chunks; a chunk is tried four times, four chunks at a time for a video.
            QTest::addRow("%s: 200 without its own index", kind)
                << audio << chunk << QByteArray(R"({"received": []})") << "未确认收到分片" << (audio ? 4 : 8);
            QTest::addRow("%s: chunkSize 1", kind)
                << audio << start << QByteArray(R"({"chunkSize": 1})") << "分片大小无效" << 0;
            QTest::addRow("%s: chunkSize -5", kind)
                << audio << start << QByteArray(R"({"chunkSize": -5})") << "分片大小无效" << 0;
            QTest::addRow("%s: chunkSize 1e300", kind)
                << audio << start << QByteArray(R"({"chunkSize": 1e300})") << "分片大小无效" << 0;
            QTest::addRow("%s: totalChunks not the file's", kind)
                << audio << start << QByteArray(R"({"totalChunks": 3})") << "分片数无效" << 0;
            QTest::addRow("%s: received indices outside the session", kind)
                << audio << start << QByteArray(R"({"received": [-1, 0.5, 2, 1e300, 9007199254740993]})")
                << QString() << 2;
        }
    }
    void hostileAgentNumbers() {
        QFETCH(bool, audio);
        QFETCH(QString, route);
        QFETCH(QByteArray, members);
        QFETCH(QString, failure);
        QFETCH(int, maxChunkRequests);
        static int serial = 0;
        const QString name = QStringLiteral("hostile%1.%2").arg(++serial).arg(audio ? "mp3" : "mp4");
        const QString path = randomFile(name, 8 * kMiB - 5);
        sim::Fault lie;
        lie.replyMembers = QJsonDocument::fromJson(members).object();
        simulator.setFault("agent", "POST", route, lie);
        const int chunksBefore = simulator.callCount("agent", "POST", "/files/upload/chunk");
        QStringList logs;
        QString stored;
        if (audio) {
            auto transport = std::make_shared<AgentUploadTransport>(node);
            auto batch = std::make_shared<AudioUploadBatch>(transport, std::make_shared<SystemUploadClock>());
            UploadEvents events;
            events.log = [&logs](const QString& t) {
                logs << t;
            };
            batch->setEvents(events);
            QCOMPARE(batch->start({path}, "hostile", false), 1);
            QVERIFY(waitUntil([&] { return !batch->batchRunning(); }, 15000));
            QCOMPARE(batch->status(), failure.isEmpty() ? "完成" : "部分失败");
            stored = simulator.audioDirectory("agent") + "/hostile/" + name;
        } else {
            Upload upload(node);
            upload.scheduler->start(path, name, false);
            QVERIFY(waitUntil([&] { return upload.settled(); }, 15000));
            QCOMPARE(upload.scheduler->status(), failure.isEmpty() ? "完成" : "失败");
            QVERIFY(upload.scheduler->receivedCount() <= upload.scheduler->totalChunks());
            logs = upload.logs;
            upload.scheduler->cancel();
            stored = simulator.videoDirectory("agent") + '/' + name;
        }
        const int chunkRequests = simulator.callCount("agent", "POST", "/files/upload/chunk") - chunksBefore;
        QVERIFY2(chunkRequests <= maxChunkRequests, qPrintable(QString::number(chunkRequests)));
        if (failure.isEmpty()) {
            QCOMPARE(sha256Of(stored), sha256Of(path));
        } else {
            QVERIFY2(!logs.filter(failure).isEmpty(), qPrintable(logs.join('\n')));
            QVERIFY(!QFile::exists(stored));
        }
        waitUntil([] { return false; }, 200); // the cancel notices reach the Agent
        QVERIFY(sessions().isEmpty());
    }

    // Cancelling mid-upload ends the session on the Agent; the aborted chunks are neither retried nor
    // reported as failures.
    void cancelLeavesNoSession() {
        const QString path = randomFile("cancel.mp4", 40 * kMiB);
        Upload upload(node);
        const int before = sessions().size();
        upload.scheduler->start(path, "cancel.mp4", false);
        QVERIFY(waitUntil([&] { return upload.scheduler->shownBytes() > 0; }, 10000));
        QCOMPARE(sessions().size(), before + 1);
        upload.scheduler->cancel();
        waitUntil([] { return false; }, 300);
        QCOMPARE(upload.scheduler->status(), "已取消");
        QCOMPARE(sessions().size(), before);
        QVERIFY(upload.failures.isEmpty());
        QVERIFY(upload.logs.filter("重试").isEmpty());
    }
};

ONDIVO_TEST_MAIN_CORE(UploadSimTest)
#include "tst_uploadsim.moc"
