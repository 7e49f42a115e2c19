#include "platform/win32/FinalPath.h"

#include <windows.h>

#include <vector>

namespace win32 {
namespace {

std::wstring withoutLongPrefix(const std::wstring& path) {
    static const std::wstring unc = L"\\\\?\\UNC\\";
    static const std::wstring local = L"\\\\?\\";
    if (path.compare(0, unc.size(), unc) == 0)
        return L"\\\\" + path.substr(unc.size());
    if (path.compare(0, local.size(), local) == 0)
        return path.substr(local.size());
    return path;
}

bool equalIgnoringCase(const wchar_t* a, std::size_t aLength, const wchar_t* b, std::size_t bLength) {
    return CompareStringOrdinal(a, int(aLength), b, int(bLength), TRUE) == CSTR_EQUAL;
}

} // namespace

std::wstring finalPath(const std::wstring& path) {
    // Backup semantics opens directories too; no access right is needed to ask for the name.
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length = GetFinalPathNameByHandleW(file, buffer.data(), DWORD(buffer.size()), FILE_NAME_NORMALIZED);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, buffer.data(), DWORD(buffer.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(file);
    if (length == 0 || length >= buffer.size())
        return {};
    return withoutLongPrefix(std::wstring(buffer.data(), length));
}

bool isInsideDirectory(const std::wstring& path, const std::wstring& directory) {
    const std::wstring p = finalPath(path);
    std::wstring d = finalPath(directory);
    if (p.empty() || d.empty())
        return false;
    if (equalIgnoringCase(p.data(), p.size(), d.data(), d.size()))
        return true;
    // A drive root ends in a separator already; any other directory needs one, or "Dir2" would match.
    if (d.back() != L'\\')
        d.push_back(L'\\');
    return p.size() > d.size() && equalIgnoringCase(p.data(), d.size(), d.data(), d.size());
}

} // namespace win32
