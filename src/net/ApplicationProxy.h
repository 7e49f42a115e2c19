#pragma once

#include <QNetworkProxy>
#include <QString>

namespace net {

// The proxy every access manager of the client (and the updater) uses, built from the network/*
// settings on every call. Anything but exactly "localProxy" is an explicit no-proxy.
QNetworkProxy applicationProxy();

// "直连", or "SOCKS5 host:port" / "HTTP host:port".
QString proxySummary();

} // namespace net
