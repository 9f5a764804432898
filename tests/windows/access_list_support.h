// Reading access lists in the Windows tests: the entries a security descriptor
// in SDDL form or a file's own list allows, as SID text, rights and flags.
#pragma once

#include <windows.h>
// After windows.h
#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <string>
#include <vector>

namespace zel::test {

struct AllowedEntry {
    std::wstring sid;
    ACCESS_MASK mask = 0;
    BYTE flags = 0;
};

inline std::vector<AllowedEntry> AllowedEntries(PACL dacl) {
    std::vector<AllowedEntry> entries;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) {
            continue;
        }
        wchar_t* text = nullptr;
        if (!::ConvertSidToStringSidW(&ace->SidStart, &text)) continue;
        entries.push_back({text, ace->Mask, ace->Header.AceFlags});
        ::LocalFree(text);
    }
    return entries;
}

// What the system makes of an SDDL text: whether the list is protected from
// inheritance, its allowed entries and, when it has one, its mandatory label.
struct ParsedDescriptor {
    bool parsed = false;
    bool isProtected = false;
    std::vector<AllowedEntry> entries;
    bool hasLabel = false;
    ACCESS_MASK labelPolicy = 0;
    DWORD labelLevel = 0;
};

inline ParsedDescriptor ParseSddl(const std::wstring& sddl) {
    ParsedDescriptor result;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return result;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    PACL sacl = nullptr;
    if (::GetSecurityDescriptorControl(descriptor, &control, &revision) &&
        ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        result.parsed = true;
        result.isProtected = (control & SE_DACL_PROTECTED) != 0;
        result.entries = AllowedEntries(present ? dacl : nullptr);
    }
    if (::GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) && present && sacl &&
        sacl->AceCount == 1) {
        SYSTEM_MANDATORY_LABEL_ACE* label = nullptr;
        if (::GetAce(sacl, 0, reinterpret_cast<void**>(&label)) &&
            label->Header.AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE) {
            result.hasLabel = true;
            result.labelPolicy = label->Mask;
            result.labelLevel = *::GetSidSubAuthority(&label->SidStart, 0);
        }
    }
    ::LocalFree(descriptor);
    return result;
}

// The allowed entries of a file's or folder's own list, as the platform reports it.
inline std::vector<AllowedEntry> FileAllowedEntries(const std::filesystem::path& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<AllowedEntry> entries = AllowedEntries(dacl);
    ::LocalFree(descriptor);
    return entries;
}

}  // namespace zel::test
