#include "platform/LocalSecret.h"

#include "platform/win32/Dpapi.h"

namespace platform {
namespace {

// Ties the protected values to this application: another program of the same user calling the same
// system function without it cannot open them.
constexpr char kEntropy[] = "Ondivo local secret v1";

} // namespace

QString masterKeyPath() {
    return {}; // the system keeps the key
}

QByteArray protectData(const QByteArray& plain) {
    std::string blob;
    if (win32::dpapiProtect(plain.toStdString(), kEntropy, L"Ondivo", blob) != 0)
        return {};
    return QByteArray::fromStdString(blob);
}

QByteArray unprotectData(const QByteArray& blob, bool* ok) {
    std::string plain;
    const bool opened = win32::dpapiUnprotect(blob.toStdString(), kEntropy, plain) == 0;
    if (ok)
        *ok = opened;
    return opened ? QByteArray::fromStdString(plain) : QByteArray();
}

} // namespace platform
