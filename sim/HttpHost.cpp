#include "HttpHost.h"

#include <httplib.h>

#include <QJsonDocument>

#include <chrono>
#include <deque>

namespace sim::detail {
namespace {

constexpr int kMaxWorkersPerServer = 64;
constexpr auto kWorkerIdleLifetime = std::chrono::seconds(2);
// Idle keep-alive connections hold a worker; a short limit keeps stop() and restarts quick.
constexpr time_t kKeepAliveSeconds = 1;

// Workers are started on demand and leave after a short idle time, so two hundred Agents in one
// process cost a listening thread each and workers only while they serve requests.
class ElasticQueue : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override {
        std::vector<std::thread> done;
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(fn));
            done = takeFinishedLocked();
            if (idle_ > 0)
                cv_.notify_one();
            else if (running_ < kMaxWorkersPerServer) {
                ++running_;
                workers_.emplace_back([this] { work(); });
            }
        }
        for (auto& t : done)
            t.join();
    }

    void shutdown() override {
        std::vector<std::thread> all;
        {
            std::lock_guard lock(mutex_);
            shutdown_ = true;
            cv_.notify_all();
            all.swap(workers_);
        }
        for (auto& t : all)
            if (t.joinable())
                t.join();
    }

private:
    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!jobs_.empty()) {
                auto fn = std::move(jobs_.front());
                jobs_.pop_front();
                lock.unlock();
                fn();
                lock.lock();
                continue;
            }
            if (shutdown_)
                break;
            ++idle_;
            const bool woken =
                cv_.wait_for(lock, kWorkerIdleLifetime, [this] { return !jobs_.empty() || shutdown_; });
            --idle_;
            if (!woken)
                break;
        }
        --running_;
        finished_.push_back(std::this_thread::get_id());
    }

    std::vector<std::thread> takeFinishedLocked() {
        std::vector<std::thread> done;
        for (const auto id : finished_) {
            for (auto it = workers_.begin(); it != workers_.end(); ++it) {
                if (it->get_id() == id) {
                    done.push_back(std::move(*it));
                    workers_.erase(it);
                    break;
                }
            }
        }
        finished_.clear();
        return done;
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
    std::vector<std::thread::id> finished_;
    int idle_ = 0;
    int running_ = 0;
    bool shutdown_ = false;
};

QString fromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Headers go out, the body never does: the client sees the connection close mid-reply.
void abortConnection(httplib::Response& res) {
    res.status = 200;
    res.set_content_provider(1024, "application/json",
                             [](size_t, size_t, httplib::DataSink&) { return false; });
}

void truncateReply(httplib::Response& res) {
    std::string body = res.body;
    if (body.size() < 64)
        body.append(64 - body.size(), ' ');
    std::string type = res.get_header_value("Content-Type");
    if (type.empty())
        type = "application/json";
    res.headers.erase("Content-Type");
    res.body.clear();
    const size_t half = body.size() / 2;
    res.set_content_provider(body.size(), type,
                             [body, half](size_t offset, size_t length, httplib::DataSink& sink) {
                                 if (offset < half)
                                     sink.write(body.data() + offset, std::min(length, half - offset));
                                 return false;
                             });
}

} // namespace

// ---- StopSignal ----

bool StopSignal::waitFor(int ms) {
    std::unique_lock lock(mutex_);
    return !cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void StopSignal::waitForever() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return stopping_; });
}

void StopSignal::raise() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    cv_.notify_all();
}

void StopSignal::reset() {
    std::lock_guard lock(mutex_);
    stopping_ = false;
}

bool StopSignal::raised() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

// ---- FaultTable ----

bool FaultTable::pathMatches(const QString& pattern, const QString& path) {
    if (pattern.endsWith(QLatin1Char('*')))
        return path.startsWith(pattern.chopped(1));
    return pattern == path;
}

void FaultTable::set(const QString& target, const QString& method, const QString& path, const Fault& fault) {
    std::lock_guard lock(mutex_);
    for (auto& entry : entries_) {
        if (entry.target == target && entry.method == method && entry.path == path) {
            entry.fault = fault;
            return;
        }
    }
    entries_.push_back({target, method, path, fault});
}

void FaultTable::clear(const QString& target, const QString& method, const QString& path) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_,
                  [&](const Entry& e) { return e.target == target && e.method == method && e.path == path; });
}

void FaultTable::clearAll() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

std::optional<Fault> FaultTable::take(const QString& target, const QString& method, const QString& path) {
    std::lock_guard lock(mutex_);
    ++calls_[target + QLatin1Char(' ') + method + QLatin1Char(' ') + path];
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->target != target || (!it->method.isEmpty() && it->method != method) ||
            !pathMatches(it->path, path))
            continue;
        Fault fault = it->fault;
        if (it->fault.times > 0 && --it->fault.times == 0)
            entries_.erase(it);
        else if (it->fault.times == 0)
            continue;
        return fault;
    }
    return std::nullopt;
}

int FaultTable::calls(const QString& target, const QString& method, const QString& path) const {
    std::lock_guard lock(mutex_);
    int total = 0;
    for (const auto& [key, count] : calls_) {
        const QStringList parts = key.split(QLatin1Char(' '));
        if (parts.size() == 3 && parts[0] == target && (method.isEmpty() || parts[1] == method) &&
            pathMatches(path, parts[2]))
            total += count;
    }
    return total;
}

QJsonObject FaultTable::callsJson() const {
    std::lock_guard lock(mutex_);
    QJsonObject object;
    for (const auto& [key, count] : calls_)
        object.insert(key, count);
    return object;
}

// ---- Call ----

QString Call::path() const {
    return fromStd(req.path);
}

QString Call::param(const char* name) const {
    return req.has_param(name) ? fromStd(req.get_param_value(name)) : QString();
}

QString Call::match(int index) const {
    return index < int(req.matches.size()) ? fromStd(req.matches[index].str()) : QString();
}

QString Call::header(const char* name) const {
    return fromStd(req.get_header_value(name));
}

QString Call::peerAddress() const {
    return fromStd(req.remote_addr);
}

void sendJson(httplib::Response& res, int status, const QJsonObject& object) {
    res.status = status;
    res.set_content(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

void sendError(httplib::Response& res, int status, const QString& error) {
    sendJson(res, status, QJsonObject{{QStringLiteral("error"), error}});
}

void sendJson(Call& call, int status, const QJsonObject& object) {
    sendJson(call.res, status, object);
}
void sendError(Call& call, int status, const QString& error) {
    sendError(call.res, status, error);
}

// A lying Agent: the route did its work, the success reply then claims other numbers.
static void replaceMembers(httplib::Response& res, const QJsonObject& members) {
    if (res.status >= 300 || res.content_provider_)
        return;
    QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(res.body)).object();
    for (auto it = members.begin(); it != members.end(); ++it)
        object.insert(it.key(), it.value());
    sendJson(res, res.status, object);
}

// ---- HttpHost ----

HttpHost::HttpHost(QString target, FaultTable& faults, StopSignal& stop)
    : target_(std::move(target)), faults_(faults), stop_(stop) {
}

HttpHost::~HttpHost() {
    stop();
}

void HttpHost::route(const std::string& method, const std::string& pattern, RouteFn fn, bool needsAuth) {
    routes_.push_back({method, pattern, std::move(fn), needsAuth});
}

QString HttpHost::url() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

std::unique_ptr<httplib::Server> HttpHost::makeServer() {
    auto server = std::make_unique<httplib::Server>();
    server->new_task_queue = [] {
        return new ElasticQueue;
    };
    server->set_keep_alive_timeout(kKeepAliveSeconds);
    server->set_read_timeout(30);
    server->set_write_timeout(30);
    for (const Route& route : routes_) {
        auto handler = [this, &route](const httplib::Request& req, httplib::Response& res) {
            dispatch(route, req, res);
        };
        if (route.method == "GET")
            server->Get(route.pattern, handler);
        else if (route.method == "POST")
            server->Post(route.pattern, handler);
        else if (route.method == "PUT")
            server->Put(route.pattern, handler);
        else if (route.method == "DELETE")
            server->Delete(route.pattern, handler);
    }
    server->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty() && !res.content_provider_)
            sendError(res, res.status,
                      res.status == 404 ? QStringLiteral("not found")
                                        : QStringLiteral("HTTP %1").arg(res.status));
    });
    server->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        sendError(res, 500, QStringLiteral("internal error"));
    });
    return server;
}

void HttpHost::dispatch(const Route& route, const httplib::Request& req, httplib::Response& res) {
    const QString method = fromStd(req.method);
    const QString path = fromStd(req.path);
    Call call{req, res, {}, {}};
    const std::optional<Fault> fault = faults_.take(target_, method, path);
    if (fault) {
        if (fault->delayMs > 0 && !stop_.waitFor(fault->delayMs)) {
            abortConnection(res);
            return;
        }
        if (fault->hang) {
            stop_.waitForever();
            abortConnection(res);
            return;
        }
        if (fault->status > 0) {
            sendError(res, fault->status, fault->errorText);
            return;
        }
        if (fault->malformedJson) {
            res.status = 200;
            res.set_content("{\"ok\": true, \"items\": [1, 2", "application/json");
            return;
        }
        call.dropMidReply = fault->dropMidReply;
    }
    // Chunk uploads carry raw bytes; only JSON bodies are parsed.
    if (!req.body.empty() && req.get_header_value("Content-Type").find("octet-stream") == std::string::npos)
        call.body = QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object();
    if (route.needsAuth && authorizer_ && !authorizer_(call))
        return;
    route.fn(call);
    if (fault && !fault->replyMembers.isEmpty())
        replaceMembers(res, fault->replyMembers);
    if (fault && fault->staleMs > 0 && !stop_.waitFor(fault->staleMs)) {
        abortConnection(res);
        return;
    }
    if (call.dropMidReply && !call.dropHandled)
        truncateReply(res);
}

bool HttpHost::bindAndRun(int port) {
    auto server = makeServer();
    int bound = -1;
    if (port == 0)
        bound = server->bind_to_any_port("127.0.0.1");
    else if (server->bind_to_port("127.0.0.1", port))
        bound = port;
    if (bound <= 0)
        return false;
    httplib::Server* raw = server.get();
    std::thread listener([raw] { raw->listen_after_bind(); });
    // stop() only works on a server that is already listening.
    for (int i = 0; i < 2000 && !raw->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard lock(mutex_);
    server_ = std::move(server);
    listener_ = std::move(listener);
    port_ = bound;
    return true;
}

bool HttpHost::listen(int port) {
    return bindAndRun(port);
}

bool HttpHost::isListening() const {
    std::lock_guard lock(mutex_);
    return server_ && server_->is_running();
}

void HttpHost::close() {
    std::lock_guard lock(mutex_);
    if (server_)
        server_->stop();
}

void HttpHost::stopServer() {
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    {
        std::lock_guard lock(mutex_);
        server = std::move(server_);
        listener = std::move(listener_);
    }
    if (server)
        server->stop();
    if (listener.joinable())
        listener.join();
}

void HttpHost::stop() {
    stopped_ = true;
    stopServer();
    joinRestarter();
    stopServer(); // a restart that was already binding when stop began
}

bool HttpHost::resume() {
    if (isListening())
        return true;
    stopped_ = false;
    return bindAndRun(port_);
}

void HttpHost::joinRestarter() {
    std::thread restarter;
    {
        std::lock_guard lock(mutex_);
        restarter = std::move(restarter_);
    }
    if (restarter.joinable() && restarter.get_id() != std::this_thread::get_id())
        restarter.join();
}

void HttpHost::restartAfter(int downMs, std::function<void()> whileDown) {
    joinRestarter();
    std::thread restarter([this, downMs, whileDown] {
        // Let the reply that asked for the restart leave first.
        if (!stop_.waitFor(100))
            return;
        stopServer();
        if (!stop_.waitFor(downMs) || stopped_)
            return;
        if (whileDown)
            whileDown();
        bindAndRun(port_);
    });
    std::lock_guard lock(mutex_);
    restarter_ = std::move(restarter);
}

} // namespace sim::detail
