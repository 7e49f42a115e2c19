#pragma once

#include <QList>
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QSet>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

class QObject;

namespace fleet {

// One request of a poll cycle, named by the key its reply is matched back with (a Node id, a room key).
// Set the idle limit on the request (setTransferTimeout); a request that hits it fails like a network error.
struct PollRequest {
    QString key;
    QNetworkRequest request;
};

// What came back for one key, as plain values.
struct PollReply {
    QString key;
    int status = 0;            // HTTP status; 0 when no answer arrived
    bool networkError = false; // refused, reset, idle limit, body over the cap, redirect refused
    QString errorText;         // the transport's reason when networkError
    QByteArray body;           // the body (at most the cap); empty after a network error
    QVariant value;            // what the parser made of it on the worker thread
};

// Runs on the worker thread for every reply; what it returns reaches the caller in PollReply::value.
using PollParser = std::function<QVariant(const PollReply& reply)>;

// The shared poller of one kind of poll. Its access manager lives on a worker thread of its own, so the
// HTTP machinery never runs on the GUI thread. On each tick send() starts a GET for every key whose
// previous request has ended, all in flight together; a key still waiting is skipped, so a silent peer
// delays only its own row. Replies are parsed on the worker thread and delivered on the context's thread
// as plain values; nothing is delivered once the context is gone.
class PollCycle {
public:
    explicit PollCycle(qint64 maxReplyBytes = kDefaultMaxReplyBytes);
    ~PollCycle();
    PollCycle(const PollCycle&) = delete;
    PollCycle& operator=(const PollCycle&) = delete;

    static constexpr qint64 kDefaultMaxReplyBytes = 4 * 1024 * 1024;

    void setProxy(const QNetworkProxy& proxy);

    // Sends the requests whose key has none waiting; returns the keys sent.
    QStringList send(const QList<PollRequest>& requests, QObject* context, PollParser parse,
                     std::function<void(const PollReply&)> deliver);

    bool isWaiting(const QString& key) const;
    int waitingCount() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace fleet
