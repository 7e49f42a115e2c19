#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QtGlobal>

// The records of a Node's history: what one status reply leaves behind, the minute aggregates kept
// for two weeks, the events, and the series the charts draw. Plain values, no widgets.
namespace history {

// The five figures every sample carries. A figure the reply did not have is negative.
enum Metric { Cpu, Memory, Disk, RxRate, TxRate, kMetricCount };

// One Node's answer (or silence) in one status poll.
struct Sample {
    QString nodeId;
    qint64 timeMs = 0;
    bool online = false;
    double values[kMetricCount] = {-1, -1, -1, -1, -1};
};

// A sample from a "/status" reply: "cpu", "memory.usedPercent", "disk.usedPercent",
// "network.rxRate" and "network.txRate"; answered false gives an offline sample without figures.
// Figures outside their range (percentages beyond 0..100, negative or non-finite rates) count as missing.
Sample sampleFromStatus(const QString& nodeId, qint64 timeMs, bool answered, const QJsonObject& status);

// min / mean / max of one figure over the samples of a span that had it.
struct Spread {
    double min = -1;
    double mean = -1;
    double max = -1;
    int count = 0; // samples that had the figure (the mean's weight when spans are merged)
};

// One span (a minute, or a bucket of minutes) of one Node.
struct Aggregate {
    qint64 startMs = 0;
    int samples = 0; // polls in the span
    int online = 0;  // of them answered
    Spread spread[kMetricCount];
};

// Folds one sample into an aggregate.
void addSample(Aggregate& into, const Sample& sample);
// Folds a whole aggregate into another (counts add, mean weighted by count).
void mergeAggregate(Aggregate& into, const Aggregate& from);
// A span counts as offline when fewer than half of its polls were answered.
bool isOfflineSpan(const Aggregate& aggregate);

// The chart ranges of the history window and the step of their points.
enum class Range { Hour, Day, TwoWeeks };
qint64 rangeMs(Range range);
qint64 stepMs(Range range);

struct Span {
    qint64 startMs = 0;
    qint64 endMs = 0;
    bool operator==(const Span&) const = default;
};

// One Node's figures over a range: one point per step that has samples, oldest first, and the spans
// in which the Node did not answer.
struct Series {
    QString nodeId;
    Range range = Range::Hour;
    qint64 fromMs = 0;
    qint64 toMs = 0;
    QList<Aggregate> points;
    QList<Span> offline;
};

// The last minutes of every Node for the trend column: CPU and network, oldest first.
struct Trend {
    QList<qint64> timesMs;
    QList<float> cpu;    // negative where the Node did not answer
    QList<float> rxRate; // bytes per second
    QList<float> txRate;
};

enum class EventKind { NodeOffline, NodeRecovered, DiskAlmostFull, PushInterrupted };

struct Event {
    qint64 id = 0; // assigned by the store; 0 before it is stored
    qint64 timeMs = 0;
    QString nodeId;
    QString roomKey; // the room of a push event; empty for the others
    EventKind kind = EventKind::NodeOffline;
    QString text;
    bool read = false;
};

// The stable name of a kind as stored ("nodeOffline", ...), and back (unknown names give false).
QString kindName(EventKind kind);
bool kindFromName(const QString& name, EventKind* kind);

} // namespace history
