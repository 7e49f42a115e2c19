#pragma once

#include <string>

// Moving a file or directory within one volume. Windows refuses to overwrite or delete the file of a
// running program (or a loaded library) but lets it be renamed: an installer renames such files away,
// puts the new ones in their place, and renames them back if installing fails. Plain C++ and Win32.
namespace win32 {

// Renames from to to; to must not exist. Never copies (a copy of a file in use could not remove its
// source), so both must be on one volume. Returns 0 or the system error code.
unsigned long moveEntry(const std::wstring& from, const std::wstring& to);

} // namespace win32
