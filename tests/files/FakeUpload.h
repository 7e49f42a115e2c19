#pragma once

#include "files/UploadTransport.h"

#include <QJsonArray>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <map>
#include <set>
#include <vector>

// A scripted Agent behind the upload transport: it answers start/status/finish/cancel like the
// Agent does unless a test hook takes over, and keeps chunk requests until the test answers them.
struct FakeTransport : files::UploadTransport {
    struct Chunk {
        quint64 ticket;
        QString uploadId;
        qint64 index;
        qint64 length;
        Done done;
        Progress progress;
    };
    qint64 size = 0;
    qint64 chunk = 0;
    bool sendTotal = true;
    int sessions = 0;
    std::map<QString, std::set<qint64>> received; // uploadId -> chunks stored
    std::vector<Chunk> pending;
    QStringList calls;     // "POST /files/upload/start" ... in order, notify included
    QStringList cancelled; // uploadIds cancelled
    QStringList startedNames;
    std::vector<qint64> sentIndices;
    int aborted = 0;
    QJsonObject lastBody;
    QJsonObject replyExtra; // members that replace the Agent's own in every session reply
    // Runs inside a blocking request, before the answer, as the nested event loop would.
    std::function<void(const QString& path)> duringRequest;

    files::TransferReply sessionReply(const QString& id) {
        QJsonArray list;
        for (const qint64 i : received[id])
            list.append(double(i));
        QJsonObject json{{"uploadId", id}, {"chunkSize", double(chunk)}, {"received", list}};
        if (sendTotal)
            json.insert("totalChunks", double((size + chunk - 1) / chunk));
        for (auto it = replyExtra.begin(); it != replyExtra.end(); ++it)
            json.insert(it.key(), it.value());
        return {200, json, {}, {}};
    }
    files::TransferReply request(const QString& method, const QString& path,
                                 const QJsonObject& body) override {
        calls << method + ' ' + path.section('?', 0, 0);
        lastBody = body;
        if (duringRequest)
            duringRequest(path);
        if (path == "/files/upload/start") {
            const QString id = QStringLiteral("u%1").arg(++sessions);
            size = body.value("size").toString().toLongLong();
            chunk = body.value("chunkSize").toString().toLongLong();
            startedNames << body.value("fileName").toString();
            received[id];
            return sessionReply(id);
        }
        if (path.startsWith("/files/upload/status"))
            return sessionReply(path.section('=', 1));
        if (path == "/files/upload/cancel")
            cancelled << body.value("uploadId").toString();
        return {200, QJsonObject{{"ok", true}}, {}, {}};
    }
    void notify(const QString& method, const QString& path, const QJsonObject& body) override {
        request(method, path, body);
    }
    quint64 sendChunk(const QString& id, qint64 index, const QString&, qint64, qint64 length,
                      Progress progress, Done done) override {
        static quint64 next = 1;
        sentIndices.push_back(index);
        pending.push_back({next, id, index, length, std::move(done), std::move(progress)});
        return next++;
    }
    void abortChunk(quint64 ticket) override {
        ++aborted;
        std::erase_if(pending, [ticket](const Chunk& c) { return c.ticket == ticket; });
    }
    // Answers the pending chunk with this index (the first one when index < 0).
    bool answer(qint64 index, bool ok = true) {
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            if (index >= 0 && it->index != index)
                continue;
            Chunk c = std::move(*it);
            pending.erase(it);
            if (ok)
                received[c.uploadId].insert(c.index);
            files::TransferReply reply =
                ok ? sessionReply(c.uploadId)
                   : files::TransferReply{500, QJsonObject{{"error", "disk full"}}, {}, {}};
            c.done(reply);
            return true;
        }
        return false;
    }
    // Every pending chunk has left whole; none is answered.
    void sendAllBytes() {
        for (const Chunk& c : std::vector<Chunk>(pending))
            if (c.progress)
                c.progress(c.length);
    }
    void answerAll(bool ok = true) {
        while (!pending.empty())
            answer(-1, ok);
    }
    std::vector<qint64> pendingIndices() const {
        std::vector<qint64> out;
        for (const Chunk& c : pending)
            out.push_back(c.index);
        return out;
    }
};

struct FakeClock : files::UploadClock {
    struct Timer {
        qint64 due;
        QPointer<QObject> context;
        std::function<void()> fn;
    };
    qint64 now = 0;
    std::vector<Timer> timers;
    qint64 nowMs() const override { return now; }
    void schedule(int ms, QObject* context, std::function<void()> fn) override {
        timers.push_back({now + ms, context, std::move(fn)});
    }
    void advance(qint64 ms) {
        now += ms;
        for (bool ran = true; ran;) {
            ran = false;
            for (auto it = timers.begin(); it != timers.end(); ++it) {
                if (it->due > now)
                    continue;
                Timer timer = std::move(*it);
                timers.erase(it);
                if (timer.context)
                    timer.fn();
                ran = true;
                break;
            }
        }
    }
};
