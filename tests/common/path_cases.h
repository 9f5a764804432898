// Path confinement and parent-reference cases, run by the native tests over
// the lexical rules and by the Windows tests over the file-system-backed forms.
// Drive Q: is assumed not to exist on the test machine; C: does.
#pragma once

#include <string_view>

namespace zel::test {

struct InsideCase {
    std::wstring_view folder;
    std::wstring_view path;
    bool inside;
};

inline constexpr InsideCase kInsideCases[] = {
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\a.dll", true},
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\sub\\deep\\a.dll", true},
    {L"C:\\ZelNoSuch\\Sys\\", L"C:\\ZelNoSuch\\Sys\\a.dll", true},
    // The folder is not inside itself, however it is written.
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys", false},
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\", false},
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\.", false},
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\sub\\..", false},
    // ".." leading out, or in and out again.
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\..\\a.dll", false},
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\..\\Sys\\a.dll", true},
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\sub\\..\\a.dll", true},
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\.\\a.dll", true},
    // A name that only starts like the folder is a sibling, not a child.
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\SysWOW64\\a.dll", false},
    {L"C:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\a.dll", false},
    {L"C:\\ZelNoSuch\\Sys\\sub", L"C:\\ZelNoSuch\\Sys\\a.dll", false},
    // Different roots.
    {L"C:\\ZelNoSuch\\Sys", L"Q:\\ZelNoSuch\\Sys\\a.dll", false},
    {L"Q:\\ZelNoSuch\\Sys", L"C:\\ZelNoSuch\\Sys\\a.dll", false},
    // Letter case and separators do not matter.
    {L"C:\\ZelNoSuch\\Sys", L"c:\\zelnosuch\\SYS\\A.DLL", true},
    {L"c:\\zelnosuch\\sys", L"C:/ZelNoSuch/Sys/a.dll", true},
};

struct ParentReferenceCase {
    std::wstring_view path;
    bool hasParent;
};

inline constexpr ParentReferenceCase kParentReferenceCases[] = {
    {L"..", true},
    {L"..\\a.dll", true},
    {L"sub\\..\\a.dll", true},
    {L"sub/../a.dll", true},
    {L"C:\\Windows\\..", true},
    {L"sub\\..", true},
    {L"a.dll", false},
    {L"sub\\a.dll", false},
    {L"a..b\\c.dll", false},
    {L"...\\a.dll", false},
    {L"..a\\b.dll", false},
    {L".\\a.dll", false},
    {L"", false},
};

}  // namespace zel::test
