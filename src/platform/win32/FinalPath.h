#pragma once

#include <string>

// Where a path really leads, as the file system sees it: links and junctions followed, "." and ".."
// gone, short (8.3) names expanded, letter case as stored. Plain C++ and Win32.
namespace win32 {

// The final path of an existing file or directory without the "\\?\" prefix (UNC paths as
// "\\server\share\..."); empty when it cannot be opened.
std::wstring finalPath(const std::wstring& path);

// True when path is directory itself or lies below it, both compared by their final paths without
// regard to case (as NTFS names compare). "C:\Source Dir2" is not inside "C:\Source Dir". False when
// either does not exist.
bool isInsideDirectory(const std::wstring& path, const std::wstring& directory);

} // namespace win32
