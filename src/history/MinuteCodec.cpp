#include "history/MinuteCodec.h"

#include <algorithm>
#include <cmath>

namespace history {
namespace {

constexpr char kFormat = 1;
constexpr quint8 kNoPercent = 255;
constexpr quint16 kNoRate = 0xFFFF;
constexpr double kRateScale = 128.0; // code = log2(1 + rate) * scale: steps of 0.54 %
constexpr int kStats = 3;            // min, mean, max
constexpr int kPercentMetrics = 3;   // Cpu, Memory, Disk
constexpr int kRateMetrics = 2;      // RxRate, TxRate
// counts (2 byte columns), percent stats (byte columns), rate stats (two byte planes each)
constexpr int kByteColumns = 2 + kPercentMetrics * kStats + kRateMetrics * kStats * 2;
constexpr int kRawSize = kByteColumns * kMinutesPerHour;

quint8 percentCode(double value) {
    return value < 0 ? kNoPercent : quint8(std::clamp(std::lround(value * 2), 0L, 200L));
}

double percentValue(quint8 code) {
    return code == kNoPercent ? -1 : code / 2.0;
}

quint16 rateCode(double value) {
    if (value < 0)
        return kNoRate;
    return quint16(std::clamp(std::lround(std::log2(1.0 + value) * kRateScale), 0L, long(kNoRate - 1)));
}

double rateValue(quint16 code) {
    return code == kNoRate ? -1 : std::exp2(code / kRateScale) - 1.0;
}

double stat(const Spread& spread, int s) {
    if (spread.count <= 0)
        return -1;
    return s == 0 ? spread.min : s == 1 ? spread.mean : spread.max;
}

void setStat(Spread& spread, int s, double value) {
    (s == 0 ? spread.min : s == 1 ? spread.mean : spread.max) = value;
}

// Column c of the raw block, minute m.
char& cell(QByteArray& raw, int column, int minute) {
    return raw[column * kMinutesPerHour + minute];
}

quint8 cellAt(const QByteArray& raw, int column, int minute) {
    return quint8(raw.at(column * kMinutesPerHour + minute));
}

// Successive minutes differ little: their differences compress far better than the values.
void deltaEncode(QByteArray& raw) {
    for (int c = 0; c < kByteColumns; ++c) {
        for (int m = kMinutesPerHour - 1; m > 0; --m)
            cell(raw, c, m) = char(quint8(cellAt(raw, c, m) - cellAt(raw, c, m - 1)));
    }
}

void deltaDecode(QByteArray& raw) {
    for (int c = 0; c < kByteColumns; ++c) {
        for (int m = 1; m < kMinutesPerHour; ++m)
            cell(raw, c, m) = char(quint8(cellAt(raw, c, m) + cellAt(raw, c, m - 1)));
    }
}

} // namespace

QByteArray encodeHour(const HourSlots& slots) {
    QByteArray raw(kRawSize, '\0');
    for (int m = 0; m < kMinutesPerHour; ++m) {
        const Aggregate& a = slots[m];
        cell(raw, 0, m) = char(quint8(std::min(a.samples, 255)));
        cell(raw, 1, m) = char(quint8(std::min(a.online, 255)));
        int column = 2;
        for (int metric = Cpu; metric <= Disk; ++metric) {
            for (int s = 0; s < kStats; ++s)
                cell(raw, column++, m) = char(percentCode(stat(a.spread[metric], s)));
        }
        for (int metric = RxRate; metric <= TxRate; ++metric) {
            for (int s = 0; s < kStats; ++s) {
                const quint16 code = rateCode(stat(a.spread[metric], s));
                cell(raw, column++, m) = char(code >> 8);
                cell(raw, column++, m) = char(code & 0xFF);
            }
        }
    }
    deltaEncode(raw);
    return QByteArray(1, kFormat) + qCompress(raw, 9);
}

std::optional<HourSlots> decodeHour(const QByteArray& blob, qint64 hourStartMs) {
    if (blob.size() < 2 || blob.at(0) != kFormat)
        return std::nullopt;
    QByteArray raw = qUncompress(blob.mid(1));
    if (raw.size() != kRawSize)
        return std::nullopt;
    deltaDecode(raw);
    HourSlots slots;
    for (int m = 0; m < kMinutesPerHour; ++m) {
        Aggregate& a = slots[m];
        a.startMs = hourStartMs + m * 60LL * 1000;
        a.samples = cellAt(raw, 0, m);
        a.online = std::min<int>(cellAt(raw, 1, m), a.samples);
        int column = 2;
        auto fill = [&a](int metric, int s, double value) {
            Spread& spread = a.spread[metric];
            setStat(spread, s, value);
            spread.count = value < 0 ? 0 : a.online;
        };
        for (int metric = Cpu; metric <= Disk; ++metric) {
            for (int s = 0; s < kStats; ++s)
                fill(metric, s, percentValue(cellAt(raw, column++, m)));
        }
        for (int metric = RxRate; metric <= TxRate; ++metric) {
            for (int s = 0; s < kStats; ++s) {
                const quint16 code = quint16(cellAt(raw, column, m) << 8 | cellAt(raw, column + 1, m));
                column += 2;
                fill(metric, s, rateValue(code));
            }
        }
        for (Spread& spread : a.spread) {
            if (spread.min < 0 || spread.mean < 0 || spread.max < 0)
                spread = Spread();
        }
    }
    return slots;
}

} // namespace history
