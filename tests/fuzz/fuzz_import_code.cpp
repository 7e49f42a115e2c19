// Import codes arrive pasted from chats and e-mails: any text must parse or be refused, and whatever
// parses must survive its own JSON form unchanged.
#include "model/Node.h"

#include <QString>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<Node> node = parseImportCode(text);
    if (node && parseNode(nodeToJson(*node)) != *node)
        std::abort();
    return 0;
}
