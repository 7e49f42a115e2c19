#pragma once

#include "history/HistoryRecords.h"

#include <QByteArray>
#include <array>
#include <optional>

// The stored form of one Node's hour of minute aggregates. Fourteen days of 500 Nodes are ten million
// minutes, so a row per minute would cost far more than the figures: one compressed blob per Node and
// hour holds the 60 minutes column by column, each column delta-coded, so that quiet figures (disk,
// memory, the poll counts) shrink to almost nothing. Percentages keep 0.5 %, rates 0.3 % of their value
// (finer steps only store the noise of the traffic).
namespace history {

inline constexpr int kMinutesPerHour = 60;

// Minute m of the hour; a minute without polls has samples == 0.
using HourSlots = std::array<Aggregate, kMinutesPerHour>;

QByteArray encodeHour(const HourSlots& slots);
// Empty when the blob is not one encodeHour wrote (a damaged row is then skipped, not trusted).
std::optional<HourSlots> decodeHour(const QByteArray& blob, qint64 hourStartMs);

} // namespace history
