#include "platform/win32/FileMove.h"

#include <windows.h>

namespace win32 {

unsigned long moveEntry(const std::wstring& from, const std::wstring& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : GetLastError();
}

} // namespace win32
