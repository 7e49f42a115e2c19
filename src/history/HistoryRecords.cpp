#include "history/HistoryRecords.h"

#include <QJsonValue>
#include <algorithm>
#include <cmath>

namespace history {
namespace {

// Rates beyond 1 PB/s are not a real link; they would only distort the charts.
constexpr double kMaxRate = 1e15;

double percentMember(const QJsonValue& value) {
    if (!value.isDouble())
        return -1;
    const double number = value.toDouble();
    return std::isfinite(number) && number >= 0 && number <= 100 ? number : -1;
}

double rateMember(const QJsonValue& value) {
    if (!value.isDouble())
        return -1;
    const double number = value.toDouble();
    return std::isfinite(number) && number >= 0 && number <= kMaxRate ? number : -1;
}

void addValue(Spread& spread, double value) {
    if (value < 0)
        return;
    if (spread.count == 0) {
        spread.min = spread.max = spread.mean = value;
        spread.count = 1;
        return;
    }
    spread.min = std::min(spread.min, value);
    spread.max = std::max(spread.max, value);
    spread.mean += (value - spread.mean) / double(spread.count + 1);
    ++spread.count;
}

void mergeSpread(Spread& into, const Spread& from) {
    if (from.count <= 0)
        return;
    if (into.count <= 0) {
        into = from;
        return;
    }
    const double total = double(into.count) + double(from.count);
    into.mean = (into.mean * into.count + from.mean * from.count) / total;
    into.min = std::min(into.min, from.min);
    into.max = std::max(into.max, from.max);
    into.count += from.count;
}

} // namespace

Sample sampleFromStatus(const QString& nodeId, qint64 timeMs, bool answered, const QJsonObject& status) {
    Sample sample;
    sample.nodeId = nodeId;
    sample.timeMs = timeMs;
    sample.online = answered;
    if (!answered)
        return sample;
    const QJsonObject network = status.value(QLatin1String("network")).toObject();
    sample.values[Cpu] = percentMember(status.value(QLatin1String("cpu")));
    sample.values[Memory] =
        percentMember(status.value(QLatin1String("memory")).toObject().value(QLatin1String("usedPercent")));
    sample.values[Disk] =
        percentMember(status.value(QLatin1String("disk")).toObject().value(QLatin1String("usedPercent")));
    sample.values[RxRate] = rateMember(network.value(QLatin1String("rxRate")));
    sample.values[TxRate] = rateMember(network.value(QLatin1String("txRate")));
    return sample;
}

void addSample(Aggregate& into, const Sample& sample) {
    ++into.samples;
    if (!sample.online)
        return;
    ++into.online;
    for (int m = 0; m < kMetricCount; ++m)
        addValue(into.spread[m], sample.values[m]);
}

void mergeAggregate(Aggregate& into, const Aggregate& from) {
    into.samples += from.samples;
    into.online += from.online;
    for (int m = 0; m < kMetricCount; ++m)
        mergeSpread(into.spread[m], from.spread[m]);
}

bool isOfflineSpan(const Aggregate& aggregate) {
    return aggregate.samples > 0 && aggregate.online * 2 < aggregate.samples;
}

qint64 rangeMs(Range range) {
    switch (range) {
    case Range::Hour:
        return 3600LL * 1000;
    case Range::Day:
        return 24LL * 3600 * 1000;
    case Range::TwoWeeks:
        return 14LL * 24 * 3600 * 1000;
    }
    return 0;
}

qint64 stepMs(Range range) {
    switch (range) {
    case Range::Hour:
        return 5LL * 1000; // every poll
    case Range::Day:
        return 60LL * 1000; // every minute aggregate
    case Range::TwoWeeks:
        return 10LL * 60 * 1000; // 2016 points: more would not fit any screen
    }
    return 60LL * 1000;
}

QString kindName(EventKind kind) {
    switch (kind) {
    case EventKind::NodeOffline:
        return QStringLiteral("nodeOffline");
    case EventKind::NodeRecovered:
        return QStringLiteral("nodeRecovered");
    case EventKind::DiskAlmostFull:
        return QStringLiteral("diskAlmostFull");
    case EventKind::PushInterrupted:
        return QStringLiteral("pushInterrupted");
    }
    return QString();
}

bool kindFromName(const QString& name, EventKind* kind) {
    for (EventKind k : {EventKind::NodeOffline, EventKind::NodeRecovered, EventKind::DiskAlmostFull,
                        EventKind::PushInterrupted}) {
        if (kindName(k) == name) {
            *kind = k;
            return true;
        }
    }
    return false;
}

} // namespace history
