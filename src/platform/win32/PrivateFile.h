#pragma once

#include <string>

// A file only the current user can open, for secrets such as a private key. Plain C++ and Win32.
namespace win32 {

// Creates path anew (an existing file is deleted first: creating over it would keep its old access
// list) with a protected access list that grants the current user full control and nobody else
// anything, inherits nothing, and is in place before the first byte is written. Returns 0, or the
// system error code; then the file is gone.
unsigned long writePrivateFile(const std::wstring& path, const std::string& content);

} // namespace win32
