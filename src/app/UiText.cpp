#include "app/UiText.h"

#include <QByteArray>
#include <QHash>

namespace app {
namespace {

struct TableEntry {
    const char* key;
    const char* text;
    bool hexEncoded;
};

// Kept as hex of the UTF-8 bytes so the source stays ASCII whatever the compiler's charset.
constexpr TableEntry kEntries[] = {
    {"nav.nodes", "e88a82e782b9", true},
    {"nav.proxy", "e4bba3e79086", true},
    {"nav.bridge", "e4b8ade8bdac", true},
    {"nav.live", "e79bb4e692ad", true},
    {"nav.rtmp", "RTMP", false},
    {"nav.files", "e69687e4bbb6e7aea1e79086", true},
    {"nav.settings", "e8aebee7bdae", true},
    {"live.logs.nodeUnavailable", "e688bfe997b4e6b2a1e69c89e7bb91e5ae9ae58fafe794a8e88a82e782b9e38082", true},
    {"live.logs.readFailed", "e8afbbe58f96e697a5e5bf97e5a4b1e8b4a53a20", true},
    {"live.logs.titlePrefix", "e79bb4e692ade697a5e5bf97202d20", true},
    {"live.logs.events", "e4ba8be4bbb6e697a5e5bf97", true},
    {"live.logs.ffmpeg", "46466d706567e697a5e5bf97", true},
};

QHash<QString, QString> buildTable() {
    QHash<QString, QString> table;
    for (const TableEntry& entry : kEntries) {
        const QByteArray raw(entry.text);
        const QString text = entry.hexEncoded ? QString::fromUtf8(QByteArray::fromHex(raw)) : QString::fromLatin1(raw);
        table.insert(QString::fromLatin1(entry.key), text);
    }
    return table;
}

const QHash<QString, QString>& table() {
    static const QHash<QString, QString> instance = buildTable(); // thread-safe one-time build
    return instance;
}

} // namespace

QString uiText(const QString& key) {
    return table().value(key, key);
}

} // namespace app
