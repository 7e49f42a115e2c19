#pragma once

#include <QByteArray>

namespace console {

// Bytes kept while nobody is there to read them, at most `capacity`; when full the oldest bytes go first,
// so the newest output (the prompt) is what survives.
class OutputRing {
public:
    static constexpr qsizetype kDefaultCapacity = 256 * 1024;

    explicit OutputRing(qsizetype capacity = kDefaultCapacity) : capacity_(capacity) {}

    void append(const QByteArray& bytes);
    // Everything kept, oldest first; the ring is empty afterwards.
    QByteArray take();
    qsizetype size() const { return bytes_.size(); }
    bool isEmpty() const { return bytes_.isEmpty(); }

private:
    qsizetype capacity_;
    QByteArray bytes_;
};

} // namespace console
