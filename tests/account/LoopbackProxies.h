#pragma once

#include <QProcess>
#include <QString>
#include <memory>

// Real proxy servers from the system, started on a free loopback port for one test and stopped by
// their own process id: microsocks (SOCKS5) and tinyproxy (HTTP). Their logs tell which connections
// they carried.
class LoopbackProxy {
public:
    enum class Kind { Socks5, Http };

    // user/password: SOCKS5 only; empty means no authentication.
    explicit LoopbackProxy(Kind kind, const QString& user = QString(), const QString& password = QString());
    ~LoopbackProxy();

    bool isRunning() const;
    quint16 port() const { return port_; }
    // Everything the proxy logged so far.
    QString log();
    // How many times the log names a connection to or request for 127.0.0.1:targetPort (with path,
    // for the HTTP proxy).
    int countForTarget(quint16 targetPort, const QString& pathPrefix = QString());

private:
    bool waitUntilListening();

    Kind kind_;
    quint16 port_ = 0;
    QString workDir_;
    QString logPath_;
    QString captured_;
    std::unique_ptr<QProcess> process_;
};
