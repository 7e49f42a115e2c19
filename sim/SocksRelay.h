#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sim::detail {

// A bridge's entry as GOST would run it, for loopback upstreams only: a SOCKS5 listener on
// 127.0.0.1:<entry port> that asks the client for the entry account (RFC 1929), then connects to the
// upstream SOCKS5 proxy with the upstream account and relays the CONNECT and every byte after it.
class SocksRelay {
public:
    struct Config {
        int entryPort = 0;
        QString username, password;
        QString upstreamHost;
        int upstreamPort = 0;
        QString upstreamUsername, upstreamPassword;
    };

    explicit SocksRelay(const Config& config);
    ~SocksRelay();
    SocksRelay(const SocksRelay&) = delete;
    SocksRelay& operator=(const SocksRelay&) = delete;

    // Binds the entry; the reason when that fails.
    QString start();
    void stop();

private:
    void acceptLoop();
    void serve(int client);
    bool greetUpstream(int upstream);

    Config config_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;
    std::mutex mutex_;
    std::vector<std::thread> sessions_;
    std::vector<int> openFds_;
};

} // namespace sim::detail
