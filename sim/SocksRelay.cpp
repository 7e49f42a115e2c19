#include "SocksRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim::detail {
namespace {

// Reads exactly n bytes, waiting at most 5 s for each part.
bool readExactly(int fd, unsigned char* out, size_t n) {
    size_t done = 0;
    while (done < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1)
            return false;
        const ssize_t got = ::recv(fd, out + done, n - done, 0);
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    return true;
}

bool writeAll(int fd, const unsigned char* data, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t sent = ::send(fd, data + done, n - done, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        done += size_t(sent);
    }
    return true;
}

bool writeAll(int fd, const std::vector<unsigned char>& bytes) {
    return writeAll(fd, bytes.data(), bytes.size());
}

// Username/password sub-negotiation of RFC 1929, as the server: true when the account matches.
bool checkAccount(int fd, const QByteArray& user, const QByteArray& password) {
    unsigned char head[2];
    if (!readExactly(fd, head, 2) || head[0] != 1)
        return false;
    std::vector<unsigned char> name(head[1]);
    unsigned char passwordLength = 0;
    if (!readExactly(fd, name.data(), name.size()) || !readExactly(fd, &passwordLength, 1))
        return false;
    std::vector<unsigned char> secret(passwordLength);
    if (!readExactly(fd, secret.data(), secret.size()))
        return false;
    const bool ok =
        QByteArray(reinterpret_cast<const char*>(name.data()), qsizetype(name.size())) == user &&
        QByteArray(reinterpret_cast<const char*>(secret.data()), qsizetype(secret.size())) == password;
    const unsigned char reply[2] = {1, static_cast<unsigned char>(ok ? 0 : 1)};
    writeAll(fd, reply, 2);
    return ok;
}

// The CONNECT request after the greeting, kept whole so it can be passed upstream unchanged.
bool readConnectRequest(int fd, std::vector<unsigned char>& request) {
    unsigned char head[4];
    if (!readExactly(fd, head, 4) || head[0] != 5 || head[1] != 1)
        return false;
    request.assign(head, head + 4);
    size_t rest = 0;
    if (head[3] == 1) {
        rest = 4 + 2;
    } else if (head[3] == 4) {
        rest = 16 + 2;
    } else if (head[3] == 3) {
        unsigned char length = 0;
        if (!readExactly(fd, &length, 1))
            return false;
        request.push_back(length);
        rest = size_t(length) + 2;
    } else {
        return false;
    }
    std::vector<unsigned char> tail(rest);
    if (!readExactly(fd, tail.data(), rest))
        return false;
    request.insert(request.end(), tail.begin(), tail.end());
    return true;
}

// The upstream's reply to CONNECT, passed back to the client unchanged.
bool readConnectReply(int fd, std::vector<unsigned char>& reply) {
    unsigned char head[4];
    if (!readExactly(fd, head, 4))
        return false;
    reply.assign(head, head + 4);
    size_t rest = head[3] == 4 ? 18 : 6;
    if (head[3] == 3) {
        unsigned char length = 0;
        if (!readExactly(fd, &length, 1))
            return false;
        reply.push_back(length);
        rest = size_t(length) + 2;
    }
    std::vector<unsigned char> tail(rest);
    if (!readExactly(fd, tail.data(), rest))
        return false;
    reply.insert(reply.end(), tail.begin(), tail.end());
    return true;
}

int connectLoopback(const QString& host, int port) {
    if (host != QLatin1String("127.0.0.1") && host != QLatin1String("localhost"))
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(quint16(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// Copies bytes both ways until either side closes or the relay stops.
void pump(int a, int b, const std::atomic<bool>& stopping) {
    char buffer[16384];
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    while (!stopping) {
        if (::poll(fds, 2, 200) < 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
            if (got <= 0 || !writeAll(fds[1 - i].fd, reinterpret_cast<unsigned char*>(buffer), size_t(got)))
                return;
        }
    }
}

} // namespace

SocksRelay::SocksRelay(const Config& config) : config_(config) {
}

SocksRelay::~SocksRelay() {
    stop();
}

QString SocksRelay::start() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(quint16(config_.entryPort));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(listenFd_, 16) != 0) {
        const QString reason = QStringLiteral("listen tcp 127.0.0.1:%1: %2")
                                   .arg(config_.entryPort)
                                   .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(listenFd_);
        listenFd_ = -1;
        return reason;
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return {};
}

void SocksRelay::stop() {
    if (stopping_.exchange(true))
        return;
    if (listenFd_ >= 0)
        ::shutdown(listenFd_, SHUT_RDWR);
    if (acceptThread_.joinable())
        acceptThread_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    std::vector<std::thread> sessions;
    {
        std::lock_guard lock(mutex_);
        for (int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
        sessions.swap(sessions_);
    }
    for (std::thread& session : sessions)
        session.join();
}

void SocksRelay::acceptLoop() {
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 200) != 1)
            continue;
        const int client = ::accept(listenFd_, nullptr, nullptr);
        if (client < 0)
            continue;
        std::lock_guard lock(mutex_);
        openFds_.push_back(client);
        sessions_.emplace_back([this, client] { serve(client); });
    }
}

bool SocksRelay::greetUpstream(int upstream) {
    const bool withAccount = !config_.upstreamUsername.isEmpty();
    const std::vector<unsigned char> hello = {5, 1, static_cast<unsigned char>(withAccount ? 2 : 0)};
    unsigned char answer[2];
    if (!writeAll(upstream, hello) || !readExactly(upstream, answer, 2) || answer[0] != 5 ||
        answer[1] != hello[2])
        return false;
    if (!withAccount)
        return true;
    const QByteArray user = config_.upstreamUsername.toUtf8().left(255);
    const QByteArray password = config_.upstreamPassword.toUtf8().left(255);
    std::vector<unsigned char> login = {1, static_cast<unsigned char>(user.size())};
    login.insert(login.end(), user.begin(), user.end());
    login.push_back(static_cast<unsigned char>(password.size()));
    login.insert(login.end(), password.begin(), password.end());
    return writeAll(upstream, login) && readExactly(upstream, answer, 2) && answer[1] == 0;
}

void SocksRelay::serve(int client) {
    int upstream = -1;
    auto finish = [&] {
        std::lock_guard lock(mutex_);
        std::erase(openFds_, client);
        if (upstream >= 0)
            std::erase(openFds_, upstream);
        ::close(client);
        if (upstream >= 0)
            ::close(upstream);
    };
    unsigned char head[2];
    if (!readExactly(client, head, 2) || head[0] != 5)
        return finish();
    std::vector<unsigned char> methods(head[1]);
    if (!readExactly(client, methods.data(), methods.size()))
        return finish();
    const bool offersAccount = std::find(methods.begin(), methods.end(), 2) != methods.end();
    const unsigned char choice[2] = {5, static_cast<unsigned char>(offersAccount ? 2 : 0xff)};
    if (!writeAll(client, choice, 2) || !offersAccount ||
        !checkAccount(client, config_.username.toUtf8(), config_.password.toUtf8()))
        return finish();
    std::vector<unsigned char> request;
    if (!readConnectRequest(client, request))
        return finish();
    upstream = connectLoopback(config_.upstreamHost, config_.upstreamPort);
    if (upstream >= 0) {
        std::lock_guard lock(mutex_);
        openFds_.push_back(upstream);
    }
    std::vector<unsigned char> reply;
    if (upstream < 0 || !greetUpstream(upstream) || !writeAll(upstream, request) ||
        !readConnectReply(upstream, reply)) {
        // General failure: the upstream could not be reached or refused us.
        const std::vector<unsigned char> failure = {5, 1, 0, 1, 0, 0, 0, 0, 0, 0};
        writeAll(client, failure);
        return finish();
    }
    if (writeAll(client, reply) && reply[1] == 0)
        pump(client, upstream, stopping_);
    finish();
}

} // namespace sim::detail
