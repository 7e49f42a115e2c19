#include "platform/win32/PrivateFile.h"

#include <windows.h>

#include <aclapi.h>

#include <vector>

namespace win32 {
namespace {

// The SID of the user this process runs as, inside the returned buffer.
DWORD currentUser(std::vector<unsigned char>& buffer, PSID* sid) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return GetLastError();
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.assign(size, 0);
    DWORD error = 0;
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        error = GetLastError();
    CloseHandle(token);
    if (error == 0)
        *sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    return error;
}

// An access list with one entry: full control for sid. The caller frees it with LocalFree.
DWORD ownerOnlyAcl(PSID sid, PACL* acl) {
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = FILE_ALL_ACCESS;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    return SetEntriesInAclW(1, &access, nullptr, acl);
}

DWORD writeAll(HANDLE file, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const DWORD chunk = DWORD(std::min<std::size_t>(content.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, content.data() + done, chunk, &written, nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        done += written;
    }
    return FlushFileBuffers(file) ? 0 : GetLastError();
}

DWORD createAndWrite(const std::wstring& path, const std::string& content, PACL acl) {
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return GetLastError();
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return GetLastError();
    // CREATE_NEW: if something put a file here after the delete, its access list would stay; refuse.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | WRITE_DAC, 0, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    // Set again on the open handle: the descriptor given at creation is the only protection otherwise,
    // and a protected list here also cuts what the folder would pass on.
    DWORD error =
        SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, acl, nullptr);
    if (error == 0)
        error = writeAll(file, content);
    CloseHandle(file);
    if (error != 0)
        DeleteFileW(path.c_str());
    return error;
}

} // namespace

unsigned long writePrivateFile(const std::wstring& path, const std::string& content) {
    std::vector<unsigned char> user;
    PSID sid = nullptr;
    DWORD error = currentUser(user, &sid);
    if (error != 0)
        return error;
    PACL acl = nullptr;
    error = ownerOnlyAcl(sid, &acl);
    if (error != 0)
        return error;
    error = createAndWrite(path, content, acl);
    LocalFree(acl);
    return error;
}

} // namespace win32
