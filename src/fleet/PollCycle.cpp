#include "fleet/PollCycle.h"

#include "fleet/FleetTiming.h"
#include "net/RequestLayer.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace fleet {

// Everything the cycle shares between the thread that sends and the worker thread. `waiting` and `home`
// belong to the sending thread; `manager` and `inFlight` to the worker.
struct PollCycle::State {
    qint64 maxReplyBytes = 0;
    QThread thread;
    QObject* worker = nullptr;                // lives on the worker thread
    QNetworkAccessManager* manager = nullptr; // created and used on the worker thread only
    QObject home;                             // lives on the sending thread; replies come back through it
    QSet<QString> waiting;
    QSet<QNetworkReply*> inFlight;
    // Replies finished on the worker and not yet handed over; handed over together so that the sending
    // thread handles a burst of replies in one go (one repaint) instead of one event per reply.
    QList<std::function<void()>> finished;
    bool handOverScheduled = false;
    int gatherMs = 0;
};

namespace {

// What one send() was given: the parser run on the worker, the delivery run on the sending thread, and
// the object whose lifetime ends the deliveries.
struct Callbacks {
    Callbacks(PollParser parser, std::function<void(const PollReply&)> delivery, QPointer<QObject> target)
        : parse(std::move(parser)), deliver(std::move(delivery)), context(std::move(target)) {}
    PollParser parse;
    std::function<void(const PollReply&)> deliver;
    QPointer<QObject> context;
};

// Starts one GET on the worker thread; its outcome is parsed there and handed over.
void startRequest(PollCycle::State* state, const PollRequest& item,
                  const std::shared_ptr<Callbacks>& callbacks);

// What a finished reply amounts to, read on the worker thread.
PollReply readReply(const PollCycle::State* state, QNetworkReply* reply, const QString& key, QByteArray& body,
                    bool tooLarge);

// Queues one finished reply's delivery on the worker. The last reply in flight hands the queue over at
// once; earlier ones wait for the gathering limit so a burst reaches the page in one go.
void handOver(PollCycle::State* state, std::function<void()> delivery);

QString tooLargeText(qint64 cap) {
    return QStringLiteral("回复超过 %1 MiB，已中止").arg(cap / (1024 * 1024));
}

} // namespace

PollCycle::PollCycle(qint64 maxReplyBytes) : state_(std::make_shared<State>()) {
    state_->maxReplyBytes = maxReplyBytes;
    state_->gatherMs = timing.handOverGatherMs;
    state_->thread.setObjectName(QStringLiteral("poll-cycle"));
    state_->worker = new QObject;
    state_->worker->moveToThread(&state_->thread);
    state_->thread.start();
    State* state = state_.get();
    QMetaObject::invokeMethod(state->worker, [state] { state->manager = new QNetworkAccessManager; });
}

PollCycle::~PollCycle() {
    State* state = state_.get();
    // Replies and the manager belong to the worker thread and are ended there before it stops.
    QMetaObject::invokeMethod(
        state->worker,
        [state] {
            for (QNetworkReply* reply : std::as_const(state->inFlight)) {
                reply->disconnect();
                reply->abort();
                delete reply;
            }
            state->inFlight.clear();
            delete state->manager;
            state->manager = nullptr;
        },
        Qt::BlockingQueuedConnection);
    state->thread.quit();
    state->thread.wait();
    delete state->worker;
    state->worker = nullptr;
}

void PollCycle::setProxy(const QNetworkProxy& proxy) {
    State* state = state_.get();
    QMetaObject::invokeMethod(state->worker, [state, proxy] {
        if (state->manager)
            state->manager->setProxy(proxy);
    });
}

bool PollCycle::isWaiting(const QString& key) const {
    return state_->waiting.contains(key);
}

int PollCycle::waitingCount() const {
    return int(state_->waiting.size());
}

QStringList PollCycle::send(const QList<PollRequest>& requests, QObject* context, PollParser parse,
                            std::function<void(const PollReply&)> deliver) {
    QStringList sent;
    State* state = state_.get();
    auto callbacks =
        std::make_shared<Callbacks>(std::move(parse), std::move(deliver), QPointer<QObject>(context));
    QList<PollRequest> toSend;
    toSend.reserve(requests.size());
    for (const PollRequest& item : requests) {
        if (state->waiting.contains(item.key))
            continue;
        state->waiting.insert(item.key);
        sent << item.key;
        toSend.append(item);
        // A poll never follows a redirect to another origin: the Agent token would go with it. (Set only
        // when missing: writing it would copy a request the caller keeps from poll to poll.)
        const QVariant policy = item.request.attribute(QNetworkRequest::RedirectPolicyAttribute);
        if (!policy.isValid() || policy.toInt() != int(QNetworkRequest::SameOriginRedirectPolicy))
            toSend.last().request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                               QNetworkRequest::SameOriginRedirectPolicy);
    }
    if (toSend.isEmpty())
        return sent;
    // The whole poll crosses to the worker in one go: one wake-up of that thread instead of one per key.
    // The destructor ends every reply on the worker thread before the state goes, and a reply posted back
    // to `home` after that is dropped with it, so the worker may hold the state by plain pointer.
    QMetaObject::invokeMethod(state->worker, [state, toSend, callbacks] {
        for (const PollRequest& item : toSend)
            startRequest(state, item, callbacks);
    });
    return sent;
}

namespace {

void startRequest(PollCycle::State* state, const PollRequest& item,
                  const std::shared_ptr<Callbacks>& callbacks) {
    if (!state->manager)
        return;
    QNetworkReply* reply = state->manager->get(item.request);
    state->inFlight.insert(reply);
    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [state, reply, body, tooLarge] {
        body->append(reply->readAll());
        if (body->size() > state->maxReplyBytes && !*tooLarge) {
            *tooLarge = true;
            reply->abort();
        }
    });
    const QString key = item.key;
    QObject::connect(reply, &QNetworkReply::finished, reply, [state, key, reply, body, tooLarge, callbacks] {
        state->inFlight.remove(reply);
        reply->deleteLater();
        PollReply result = readReply(state, reply, key, *body, *tooLarge);
        if (callbacks->parse)
            result.value = callbacks->parse(result);
        handOver(state, [state, result, callbacks] {
            state->waiting.remove(result.key);
            if (callbacks->context && callbacks->deliver)
                callbacks->deliver(result);
        });
    });
}

PollReply readReply(const PollCycle::State* state, QNetworkReply* reply, const QString& key, QByteArray& body,
                    bool tooLarge) {
    PollReply result;
    result.key = key;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (tooLarge) {
        result.networkError = true;
        result.errorText = tooLargeText(state->maxReplyBytes);
    } else if (result.status >= 300 && result.status < 400) {
        result.networkError = true;
        result.errorText = QStringLiteral("服务器重定向到其他地址: ") +
                           reply->header(QNetworkRequest::LocationHeader).toUrl().toString();
    } else if (reply->error() != QNetworkReply::NoError && result.status == 0) {
        result.networkError = true;
        result.errorText = reply->error() == QNetworkReply::OperationCanceledError
                               ? QStringLiteral("请求超时")
                               : net::transportErrorText(reply->error(), reply->errorString());
    } else {
        body.append(reply->readAll());
        result.body = body;
    }
    return result;
}

void handOverNow(PollCycle::State* state) {
    if (state->finished.isEmpty())
        return;
    QList<std::function<void()>> batch;
    batch.swap(state->finished);
    QMetaObject::invokeMethod(&state->home, [batch] {
        for (const auto& delivery : batch)
            delivery();
    });
}

void handOver(PollCycle::State* state, std::function<void()> delivery) {
    state->finished.append(std::move(delivery));
    if (state->inFlight.isEmpty()) {
        handOverNow(state);
        return;
    }
    if (state->handOverScheduled)
        return;
    state->handOverScheduled = true;
    QTimer::singleShot(state->gatherMs, state->worker, [state] {
        state->handOverScheduled = false;
        handOverNow(state);
    });
}

} // namespace

} // namespace fleet
