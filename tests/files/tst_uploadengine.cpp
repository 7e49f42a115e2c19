#include "FakeUpload.h"
#include "TestMain.h"
#include "files/AudioUploadBatch.h"
#include "files/FilesTiming.h"
#include "files/UploadRules.h"
#include "files/VideoUploadScheduler.h"

#include <QJsonDocument>
#include <QTemporaryDir>

using namespace files;

namespace {

constexpr qint64 kMiB = 1 << 20;
constexpr qint64 kChunk = 4 * kMiB;

struct Rig {
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    QStringList logs, failures;
    int succeeded = -1, failed = -1;
    UploadEvents events() {
        UploadEvents e;
        e.log = [this](const QString& t) {
            logs << t;
        };
        e.failed = [this](const QString& t) {
            failures << t;
        };
        e.batchFinished = [this](int ok, int bad) {
            succeeded = ok, failed = bad;
        };
        return e;
    }
    std::shared_ptr<VideoUploadScheduler> video() {
        auto s = std::make_shared<VideoUploadScheduler>(transport, clock);
        s->setEvents(events());
        return s;
    }
    std::shared_ptr<AudioUploadBatch> audio() {
        auto b = std::make_shared<AudioUploadBatch>(transport, clock);
        b->setEvents(events());
        return b;
    }
    // Fails the pending chunk with this index until its retries are spent.
    void failForGood(qint64 index) {
        for (int attempt = 1; attempt <= 4; ++attempt) {
            QVERIFY(transport->answer(index, false));
            clock->advance(timing.retryDelayMs(attempt));
        }
    }
};

// One video upload of the file at path, on its own fake transport and clock.
struct VideoCase {
    Rig rig;
    std::shared_ptr<VideoUploadScheduler> s = rig.video();
    FakeTransport& t = *rig.transport;
    QString path;
    explicit VideoCase(QString file) : path(std::move(file)) {}
};

// Runs fn once, inside the next request to route (the transport calls duringRequest while a request
// is on its way). fn is taken out of the hook before the hook is dropped, which destroys the hook.
void hookOnce(FakeTransport& t, const QString& route, std::function<void()> fn) {
    t.duringRequest = [&t, route, fn](const QString& p) {
        if (p != route)
            return;
        const std::function<void()> run = fn;
        t.duringRequest = nullptr;
        run();
    };
}

} // namespace

class UploadEngineTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString makeFile(const QString& name, qint64 size) {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
            qFatal("cannot create %s", qPrintable(path));
        return path;
    }

private Q_SLOTS:
    void chunkGeometry_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("chunk");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("lastLength");
        const qint64 gib = qint64(1) << 30;
        QTest::newRow("1 GiB - 1 byte") << gib - 1 << 4 * kMiB << 256LL << 4 * kMiB - 1;
        QTest::newRow("exactly 1 GiB") << gib << 8 * kMiB << 128LL << 8 * kMiB;
        QTest::newRow("5 GiB + 1 byte") << 5 * gib + 1 << 8 * kMiB << 641LL << 1LL;
        QTest::newRow("exactly 10 GiB") << 10 * gib << 16 * kMiB << 640LL << 16 * kMiB;
        QTest::newRow("one byte") << 1LL << 4 * kMiB << 1LL << 1LL;
    }
    void chunkGeometry() {
        QFETCH(qint64, size);
        QFETCH(qint64, chunk);
        QFETCH(qint64, count);
        QFETCH(qint64, lastLength);
        QCOMPARE(chunkSizeFor(size), chunk);
        QCOMPARE(chunkCountFor(size, chunk), count);
        QCOMPARE(chunkLength(count - 1, size, chunk), lastLength);
        QCOMPARE(chunkLength(count, size, chunk), 0);
        std::set<qint64> all;
        for (qint64 i = 0; i < count; ++i)
            all.insert(i);
        QCOMPARE(coveredBytes(all, size, chunk), size);
    }

    // The pane's sizes use the byte format of the nodes page: two decimals below 10 in every unit.
    void sizeTexts_data() {
        QTest::addColumn<qint64>("shown");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("text");
        QTest::newRow("KB") << 1536LL << 20480LL << "1.50 KB / 20.0 KB";
        QTest::newRow("TB stays at two decimals") << 0LL << (qint64(5) << 40) << "0.00 B / 5.00 TB";
    }
    void sizeTexts() {
        QFETCH(qint64, shown);
        QFETCH(qint64, total);
        QFETCH(QString, text);
        QCOMPARE(sizeProgressText(shown, total), text);
    }

    // The lowest free index goes next, four at a time; a retry waits for its delay and a free slot.
    void videoWindowAndRetry() {
        Rig rig;
        auto s = rig.video();
        s->start(makeFile("w.mp4", 10 * kChunk - 100), "w.mp4", false);
        QCOMPARE(rig.transport->pendingIndices(), (std::vector<qint64>{0, 1, 2, 3}));
        rig.transport->answer(2);
        QCOMPARE(rig.transport->pendingIndices(), (std::vector<qint64>{0, 1, 3, 4}));
        rig.transport->answer(0, false);
        QCOMPARE(s->status(), "上传中，活动分片 4");
        QCOMPARE(rig.logs.last(), "分片 1 失败，准备重试 1/3: disk full");
        rig.clock->advance(1000);
        QCOMPARE(rig.transport->pendingIndices(), (std::vector<qint64>{1, 3, 4, 5}));
        rig.transport->answer(1);
        QCOMPARE(rig.transport->pendingIndices(), (std::vector<qint64>{3, 4, 5, 0}));
        while (!rig.transport->pending.empty())
            rig.transport->answerAll();
        QCOMPARE(s->status(), "完成");
        QCOMPARE(rig.transport->sentIndices.size(), size_t(11));
        QCOMPARE(s->shownBytes(), s->fileSize());
    }

    void retryLadder_data() {
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("status");
        QTest::newRow("third retry succeeds") << 3 << "完成";
        QTest::newRow("fourth failure is final") << 4 << "失败";
    }
    void retryLadder() {
        QFETCH(int, failures);
        QFETCH(QString, status);
        Rig rig;
        auto s = rig.video();
        s->start(makeFile("r.mp4", 1000), "r.mp4", false);
        const int delays[] = {1000, 3000, 5000};
        for (int attempt = 1; attempt <= failures; ++attempt) {
            QVERIFY(rig.transport->answer(0, false));
            if (attempt > 3)
                break;
            QCOMPARE(s->status(), QStringLiteral("重试中%1/3").arg(attempt));
            rig.clock->advance(delays[attempt - 1] - 1);
            QVERIFY(rig.transport->pending.empty());
            rig.clock->advance(1);
            QCOMPARE(rig.transport->pendingIndices(), std::vector<qint64>{0});
        }
        rig.transport->answerAll();
        QCOMPARE(s->status(), status);
        QCOMPARE(rig.failures, failures > 3 ? QStringList{"分片 1 上传失败: disk full"} : QStringList());
        QCOMPARE(s->canResume(), failures > 3);
    }

    void pauseWaitsForActiveChunks() {
        Rig rig;
        auto s = rig.video();
        s->start(makeFile("p.mp4", 10 * kChunk), "p.mp4", false);
        s->pause();
        QCOMPARE(s->status(), "暂停中，当前分片完成后停止");
        for (int i = 0; i < 3; ++i)
            rig.transport->answer(-1);
        QCOMPARE(rig.transport->sentIndices.size(), size_t(4));
        QVERIFY(s->running());
        rig.transport->answer(-1);
        QCOMPARE(s->status(), "已暂停");
        QVERIFY(s->canResume() && s->canCancel() && !s->canPause() && !s->canStart());
        s->resume();
        QCOMPARE(rig.transport->pendingIndices(), (std::vector<qint64>{4, 5, 6, 7}));
    }

    // A chunk stored by the Agent whose reply was lost is not sent again after a failure.
    void resumeSendsOnlyMissingChunks() {
        Rig rig;
        auto s = rig.video();
        s->start(makeFile("m.mp4", 3 * kChunk), "m.mp4", false);
        rig.transport->answer(0);
        rig.transport->received["u1"].insert(1);
        rig.failForGood(2);
        QCOMPARE(s->status(), "失败");
        rig.transport->sentIndices.clear();
        s->resume();
        QCOMPARE(rig.transport->sentIndices, std::vector<qint64>{2});
        rig.transport->answerAll();
        QCOMPARE(s->status(), "完成");
    }

    // Progress, sizes and the bar count the chunks the Agent confirmed, never bytes merely sent nor a
    // byte count the Agent claims; the bar is full only once the upload is complete.
    void progressCountsConfirmedChunks_data() {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QByteArray>("claims");
        QTest::addColumn<int>("answered");
        QTest::addColumn<bool>("whileFinishing");
        QTest::addColumn<int>("shownChunks");
        QTest::addColumn<int>("bar");
        QTest::addColumn<int>("unconfirmedChunks");
        const QByteArray none = "{}";
        const QByteArray wholeFile = R"({"uploadedBytes": 12582912})";
        QTest::newRow("video: all sent, none confirmed") << false << none << 0 << false << 0 << 0 << 3;
        QTest::newRow("video: one of three confirmed") << false << none << 1 << false << 1 << 3333 << 2;
        QTest::newRow("video: all confirmed, Agent still checking")
            << false << none << 3 << true << 3 << 9999 << 0;
        QTest::newRow("video: completed") << false << none << 3 << false << 3 << 10000 << 0;
        QTest::newRow("video: Agent claims the whole file")
            << false << wholeFile << 0 << false << 0 << 0 << 3;
        QTest::newRow("audio: chunk sent, none confirmed") << true << none << 0 << false << 0 << 0 << 1;
        QTest::newRow("audio: one of three confirmed") << true << none << 1 << false << 1 << 3333 << 1;
        QTest::newRow("audio: Agent claims the whole file") << true << wholeFile << 0 << false << 0 << 0 << 1;
        QTest::newRow("audio: completed") << true << none << 3 << false << 3 << 10000 << 0;
    }
    void progressCountsConfirmedChunks() {
        QFETCH(bool, audio);
        QFETCH(QByteArray, claims);
        QFETCH(int, answered);
        QFETCH(bool, whileFinishing);
        QFETCH(int, shownChunks);
        QFETCH(int, bar);
        QFETCH(int, unconfirmedChunks);
        Rig rig;
        auto& t = *rig.transport;
        t.replyExtra = QJsonDocument::fromJson(claims).object();
        const QString path = makeFile(audio ? "c.mp3" : "c.mp4", 3 * kChunk);
        auto video = audio ? nullptr : rig.video();
        auto batch = audio ? rig.audio() : nullptr;
        auto sample = [&] {
            return video ? video->sampleProgress() : batch->sampleProgress();
        };
        ProgressFigures figures;
        t.duringRequest = [&](const QString& p) {
            if (p == "/files/upload/finish")
                figures = sample();
        };
        video ? video->start(path, "c.mp4", false) : void(batch->start({path}, "music", false));
        for (int i = 0; i < answered; ++i)
            QVERIFY(t.answer(-1));
        t.sendAllBytes();
        if (!whileFinishing)
            figures = sample();
        QCOMPARE(figures.shown, shownChunks * kChunk);
        QCOMPARE(progressBarValue(figures.shown, figures.total, 10000, figures.complete), bar);
        QCOMPARE(figures.unconfirmed, unconfirmedChunks * kChunk);
    }

    // A retry timer left over from a cancelled upload fires inside the next start request: it must not
    // finish or resend anything of the new session.
    void videoStaleRetryTimerDuringNewStart() {
        VideoCase c(makeFile("v.mp4", 2 * kChunk));
        c.s->start(c.path, "v.mp4", false);
        c.t.answer(0, false);
        c.s->cancel();
        hookOnce(c.t, "/files/upload/start", [&] { c.rig.clock->advance(10000); });
        c.s->start(c.path, "v.mp4", false);
        QVERIFY(!c.t.calls.contains("POST /files/upload/finish"));
        QCOMPARE(c.t.pendingIndices(), (std::vector<qint64>{0, 1}));
        QCOMPARE(c.t.pending.front().uploadId, "u2");
    }

    void videoCancelWhileStartRequestWaits() {
        VideoCase c(makeFile("v.mp4", 2 * kChunk));
        hookOnce(c.t, "/files/upload/start", [&] { c.s->cancel(); });
        c.s->start(c.path, "v.mp4", false);
        QCOMPARE(c.t.cancelled, QStringList{"u1"});
        QVERIFY(c.t.pending.empty());
        QCOMPARE(c.s->status(), "已取消");
    }

    void videoCancelWhileFinishing() {
        VideoCase c(makeFile("v.mp4", 2 * kChunk));
        c.s->start(c.path, "v.mp4", false);
        hookOnce(c.t, "/files/upload/finish", [&] {
            QVERIFY(!c.s->canCancel());
            c.s->cancel();
        });
        c.t.answerAll();
        QCOMPARE(c.s->status(), "完成");
        QVERIFY(c.t.cancelled.isEmpty());
    }

    void videoStartReplyWithoutTotalChunks() {
        VideoCase c(makeFile("v.mp4", 2 * kChunk));
        c.t.sendTotal = false;
        c.s->start(c.path, "v.mp4", false);
        QCOMPARE(c.t.pendingIndices(), (std::vector<qint64>{0, 1}));
        c.t.answerAll();
        QCOMPARE(c.s->status(), "完成");
    }

    void videoResumeAfterLocalFileChanged() {
        VideoCase c(makeFile("v.mp4", 2 * kChunk));
        c.s->start(c.path, "v.mp4", false);
        c.rig.failForGood(0);
        QFile(c.path).resize(3 * kChunk);
        c.t.sentIndices.clear();
        c.s->resume();
        QCOMPARE(c.s->status(), "失败");
        QVERIFY(c.rig.failures.last().contains("本地文件已改变"));
        QVERIFY(c.t.sentIndices.empty());
    }

    void videoAnotherFileEndsTheSession() {
        VideoCase c(makeFile("v.mp4", 2 * kChunk));
        c.s->start(c.path, "v.mp4", false);
        c.rig.failForGood(0);
        c.s->endSession();
        QCOMPARE(c.t.cancelled, QStringList{"u1"});
        QVERIFY(!c.s->canResume());
    }

    void videoOwnerGoneDuringStartRequest() {
        VideoCase c(makeFile("v.mp4", 2 * kChunk));
        hookOnce(c.t, "/files/upload/start", [&] {
            c.s->detach();
            c.s.reset();
        });
        c.s->start(c.path, "v.mp4", false);
        QCOMPARE(c.t.cancelled, QStringList{"u1"});
        QVERIFY(c.t.pending.empty());
    }

    void audioFileFinishesWhileAnotherStartWaits() {
        Rig rig;
        auto b = rig.audio();
        auto& t = *rig.transport;
        QStringList paths;
        for (int i = 0; i < 7; ++i)
            paths << makeFile(QStringLiteral("f/%1.mp3").arg(i), 1000);
        int most = 0;
        t.duringRequest = [&](const QString& p) {
            most = std::max(most, b->activeCount());
            QVERIFY(b->status() != "完成");
            if (p == "/files/upload/start" && t.startedNames.size() == 1)
                t.answer(-1); // the first file ends inside the second file's start request
        };
        QCOMPARE(b->start(paths, "music", false), 7);
        while (!t.pending.empty())
            t.answerAll();
        QCOMPARE(t.startedNames.size(), 7);
        QCOMPARE(QSet<QString>(t.startedNames.begin(), t.startedNames.end()).size(), 7);
        QVERIFY(most <= 5);
        QCOMPARE(b->status(), "完成");
        QCOMPARE(rig.succeeded, 7);
    }

    void audioSameNameInTwoSubfolders() {
        Rig rig;
        auto b = rig.audio();
        makeFile("a/x.mp3", 10);
        makeFile("b/x.mp3", 20);
        makeFile("c/y.mp3", 30);
        QCOMPARE(
            b->start(collectAudioFiles({dir.filePath("a"), dir.filePath("b"), dir.filePath("c")}, nullptr),
                     "music", false),
            2);
        QCOMPARE(b->skippedDuplicates(), QStringList{"x.mp3"});
        QVERIFY(rig.logs.first().contains("x.mp3"));
        QCOMPARE(b->totalBytes(), 40);
    }

    void audioRetryTimerAfterNewBatch() {
        Rig rig;
        auto b = rig.audio();
        auto& t = *rig.transport;
        const QStringList paths{makeFile("r.mp3", 1000)};
        b->start(paths, "music", false);
        t.answer(0, false);
        b->cancel();
        b->start(paths, "music", false);
        rig.clock->advance(5000);
        QCOMPARE(t.sentIndices.size(), size_t(2));
        QCOMPARE(t.pending.size(), size_t(1));
    }

    void audioResumeSkipsTaskWaitingOnRetry() {
        Rig rig;
        auto b = rig.audio();
        auto& t = *rig.transport;
        b->start({makeFile("s.mp3", kChunk + 1)}, "music", false);
        t.answer(0, false);
        b->pause();
        b->resume();
        QCOMPARE(t.sentIndices.size(), size_t(1));
        rig.clock->advance(1000);
        QCOMPARE(t.sentIndices.size(), size_t(2));
        t.answerAll();
        t.answerAll();
        QCOMPARE(b->status(), "完成");
    }

    void audioOneFileFailsForGood() {
        Rig rig;
        auto b = rig.audio();
        auto& t = *rig.transport;
        b->start({makeFile("bad.mp3", 100), makeFile("good.mp3", 100)}, "music", false);
        t.answer(-1); // bad.mp3 leaves its first chunk unanswered until now
        rig.failForGood(0);
        QCOMPARE(b->status(), "部分失败");
        QCOMPARE(rig.succeeded, 1);
        QCOMPARE(rig.failed, 1);
        QVERIFY(rig.logs.contains("上传失败: good.mp3 - 分片 1 上传失败: disk full") ||
                rig.logs.contains("上传失败: bad.mp3 - 分片 1 上传失败: disk full"));
    }
};

ONDIVO_TEST_MAIN_CORE(UploadEngineTest)
#include "tst_uploadengine.moc"
