#pragma once

#include <QtGlobal>

// How much of a reply may be held in memory, per kind of reply. A reply that grows past its cap is
// aborted: a peer that streams without end must not be able to exhaust the client's memory.
namespace net::limits {

inline constexpr qint64 kMiB = 1024 * 1024;

// Periodic status replies (Node /status, proxy and bridge state): a few KiB in practice.
inline constexpr qint64 kStatusReplyMaxBytes = 4 * kMiB;
// Blocking Cloud API and Agent calls; some return lists that legitimately grow (the Node list with one
// sealed envelope per Node, file listings, logs).
inline constexpr qint64 kApiReplyMaxBytes = 32 * kMiB;
// Rows a list page shows per Node (files, rooms, bridges): a longer list is cut there, with a notice, so
// that no page builds tens of thousands of rows on the GUI thread.
inline constexpr int kListRowsPerNode = 3000;
// One Node's list reply (and a bridge list poll): room for kListRowsPerNode rows of over 1 KiB each, a
// multiple of what an Agent sends per file, folder, room or bridge.
inline constexpr qint64 kListReplyMaxBytes = 4 * kMiB;
static_assert(kListReplyMaxBytes / kListRowsPerNode >= 1024);
// A release manifest is a handful of members.
inline constexpr qint64 kManifestReplyMaxBytes = 1 * kMiB;
// Small probes such as the IP-geolocation test of the proxy dialog.
inline constexpr qint64 kProbeReplyMaxBytes = 64 * 1024;

} // namespace net::limits
