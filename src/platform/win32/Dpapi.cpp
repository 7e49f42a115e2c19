#include "platform/win32/Dpapi.h"

#include <windows.h>

#include <dpapi.h>

namespace win32 {
namespace {

DATA_BLOB blobOf(const std::string& bytes) {
    DATA_BLOB blob;
    blob.cbData = DWORD(bytes.size());
    blob.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()));
    return blob;
}

// Copies the system's output and wipes and frees it: it may hold a secret.
std::string takeOutput(DATA_BLOB& out) {
    std::string bytes(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return bytes;
}

bool fits(const std::string& bytes) {
    return bytes.size() <= 0x7fffffffu;
}

} // namespace

unsigned long dpapiProtect(const std::string& plain, const std::string& entropy,
                           const std::wstring& description, std::string& blob) {
    if (!fits(plain) || !fits(entropy))
        return ERROR_INVALID_PARAMETER;
    DATA_BLOB in = blobOf(plain);
    DATA_BLOB extra = blobOf(entropy);
    DATA_BLOB out{};
    if (!CryptProtectData(&in, description.c_str(), &extra, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out))
        return GetLastError();
    blob = takeOutput(out);
    return 0;
}

unsigned long dpapiUnprotect(const std::string& blob, const std::string& entropy, std::string& plain) {
    if (!fits(blob) || !fits(entropy))
        return ERROR_INVALID_PARAMETER;
    DATA_BLOB in = blobOf(blob);
    DATA_BLOB extra = blobOf(entropy);
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, &extra, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return GetLastError();
    plain = takeOutput(out);
    return 0;
}

} // namespace win32
