// Giving a file or folder the access list a test needs, as a standard user or
// an administrator would have left it. Wine keeps no real lists, but reports
// back the one it makes of the Unix mode it sets from this one.
#pragma once

#include <windows.h>
// After windows.h
#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <string>

namespace zel::test {

// Replaces the object's own list with the list of an SDDL text such as
// "D:(A;OICI;FA;;;WD)"; with "D:P(…)" the list no longer inherits from the
// folder above. Returns the Win32 error, ERROR_SUCCESS when it was set.
inline DWORD SetAccessListFromSddl(const std::filesystem::path& path, const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return ::GetLastError();
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    DWORD error = ERROR_INVALID_PARAMETER;
    if (::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
        ::GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
        if (control & SE_DACL_PROTECTED) what |= PROTECTED_DACL_SECURITY_INFORMATION;
        error = ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, what, nullptr, nullptr,
                                        dacl, nullptr);
    }
    ::LocalFree(descriptor);
    return error;
}

}  // namespace zel::test
