#pragma once

#include "Simulator.h"

#include <QJsonObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace sim::detail {

// One flag for the whole simulator: set by stop(), it wakes every delayed or hanging request.
class StopSignal {
public:
    // Sleeps up to ms; false when the simulator stopped meanwhile.
    bool waitFor(int ms);
    void waitForever();
    void raise();
    void reset();
    bool raised() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool stopping_ = false;
};

// Faults by target, method and path, plus a count of the calls per route.
class FaultTable {
public:
    void set(const QString& target, const QString& method, const QString& path, const Fault& fault);
    void clear(const QString& target, const QString& method, const QString& path);
    void clearAll();
    // The fault for this call, if any; counts the call and uses up one of a limited fault's times.
    std::optional<Fault> take(const QString& target, const QString& method, const QString& path);
    int calls(const QString& target, const QString& method, const QString& path) const;
    QJsonObject callsJson() const;

private:
    struct Entry {
        QString target;
        QString method;
        QString path;
        Fault fault;
    };
    static bool pathMatches(const QString& pattern, const QString& path);

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::map<QString, int> calls_;
};

// One request as a route sees it.
struct Call {
    const httplib::Request& req;
    httplib::Response& res;
    QJsonObject body;          // the body parsed as a JSON object (empty when it is not one)
    QString account;           // Cloud routes: the signed-in account
    bool dropMidReply = false; // routes with their own content provider honour it themselves
    bool dropHandled = false;

    QString path() const;
    QString param(const char* name) const;
    QString match(int index) const; // regex capture of the route pattern
    QString header(const char* name) const;
    QString peerAddress() const;
};

void sendJson(httplib::Response& res, int status, const QJsonObject& object);
void sendError(httplib::Response& res, int status, const QString& error);
void sendJson(Call& call, int status, const QJsonObject& object);
void sendError(Call& call, int status, const QString& error);

using RouteFn = std::function<void(Call&)>;
// Returns false after writing the refusal itself.
using Authorizer = std::function<bool(Call&)>;

// One HTTP server on 127.0.0.1 with its routes, its fault hook and its own small, elastic thread
// pool; it can be restarted on the same port (an Agent restarting after an update).
class HttpHost {
public:
    HttpHost(QString target, FaultTable& faults, StopSignal& stop);
    ~HttpHost();

    void setAuthorizer(Authorizer authorizer) { authorizer_ = std::move(authorizer); }
    void route(const std::string& method, const std::string& pattern, RouteFn fn, bool needsAuth = true);

    bool listen(int port); // 0 = any free port
    int port() const { return port_; }
    QString url() const;
    QString target() const { return target_; }

    // Closes the listening socket at once (connections are refused); stop() also waits for the workers.
    void close();
    void stop();
    // Listens again on the port it had, after stop().
    bool resume();
    // Goes down now and listens again on the same port after downMs (asynchronous); whileDown runs
    // just before it listens again.
    void restartAfter(int downMs, std::function<void()> whileDown = {});
    bool isListening() const;

private:
    struct Route {
        std::string method;
        std::string pattern;
        RouteFn fn;
        bool needsAuth;
    };
    std::unique_ptr<httplib::Server> makeServer();
    void dispatch(const Route& route, const httplib::Request& req, httplib::Response& res);
    bool bindAndRun(int port);
    void stopServer();
    void joinRestarter();

    QString target_;
    FaultTable& faults_;
    StopSignal& stop_;
    Authorizer authorizer_;
    std::vector<Route> routes_;
    int port_ = 0;
    std::atomic<bool> stopped_{false};

    mutable std::mutex mutex_;
    std::unique_ptr<httplib::Server> server_;
    std::thread listener_;
    std::thread restarter_;
};

} // namespace sim::detail
