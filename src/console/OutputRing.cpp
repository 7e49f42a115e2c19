#include "console/OutputRing.h"

namespace console {

void OutputRing::append(const QByteArray& bytes) {
    if (capacity_ <= 0)
        return;
    if (bytes.size() >= capacity_) {
        bytes_ = bytes.right(capacity_);
        return;
    }
    const qsizetype overflow = bytes_.size() + bytes.size() - capacity_;
    if (overflow > 0)
        bytes_.remove(0, overflow);
    bytes_.append(bytes);
}

QByteArray OutputRing::take() {
    QByteArray all;
    all.swap(bytes_);
    return all;
}

} // namespace console
