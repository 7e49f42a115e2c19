#pragma once

#include <string>

// The system's data protection for the current user (DPAPI). Plain C++ and Win32: bytes in, bytes
// and an error code out. Only the same Windows user on the same machine, giving the same entropy,
// opens what was protected.
namespace win32 {

// Protects plain with the description and the application's entropy, never showing a prompt.
// Returns 0 and fills blob, or the system error code.
unsigned long dpapiProtect(const std::string& plain, const std::string& entropy,
                           const std::wstring& description, std::string& blob);

// Opens blob with the same entropy. Returns 0 and fills plain, or the system error code (a blob
// of another user, a changed byte or another entropy are refused).
unsigned long dpapiUnprotect(const std::string& blob, const std::string& entropy, std::string& plain);

} // namespace win32
