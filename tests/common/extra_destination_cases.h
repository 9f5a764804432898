// Cases of the mirror rules (folder names from [Files] patterns, folder
// matching, target paths, the MstaFolder line rules), run by the native tests
// and by the Windows tests.
#pragma once

#include <string_view>
#include <vector>

namespace zel::test {

struct MirrorNamesCase {
    std::vector<std::wstring> patterns;
    std::vector<std::wstring> names;
};

inline const std::vector<MirrorNamesCase>& MirrorNamesCases() {
    static const std::vector<MirrorNamesCase> cases = {
        {{L"*.exe", L"bin\\*.dll"}, {}},
        {{L"Data\\*", L"data/*", L"Sub\\Data\\*"}, {L"Data"}},
        {{L" \tTools\\* \r\n", L"Data/*", L"TOOLS\\*"}, {L"Tools", L"Data"}},
        {{L"\\*", L"*", L"/*", L"Doc\\", L"Doc\\*x", L"Doc*", L"Doc\\**"}, {}},
        {{L"A\\*"}, {L"A"}},
        {{}, {}},
    };
    return cases;
}

struct MatchCase {
    std::wstring_view relativePath;
    std::wstring_view folderName;
    bool matches;
    std::wstring_view remainder;
};

inline constexpr MatchCase kMatchCases[] = {
    {L"Data\\x\\a.dat", L"Data", true, L"x\\a.dat"},
    {L"data\\A.dat", L"DATA", true, L"A.dat"},
    {L"Data", L"Data", true, L""},
    {L"DATA", L"data", true, L""},
    {L"Data\\", L"Data", true, L""},
    {L"Database\\a.dat", L"Data", false, L""},
    {L"Dat", L"Data", false, L""},
    {L"Other\\Data\\a.dat", L"Data", false, L""},
    {L"App.exe", L"Data", false, L""},
};

struct TargetCase {
    std::wstring_view extraFolder;
    std::wstring_view relativePath;
    std::wstring_view matchedName;
    std::wstring_view remainder;
    std::wstring_view target;
};

// Mirror folder names for these cases: Data and Tools.
inline constexpr TargetCase kTargetCases[] = {
    // The extra folder is itself the mirrored folder.
    {L"C:\\M\\Data", L"Data\\x\\a.dat", L"Data", L"x\\a.dat", L"C:\\M\\Data\\x\\a.dat"},
    {L"C:\\M\\dATA", L"Data\\x\\a.dat", L"Data", L"x\\a.dat", L"C:\\M\\dATA\\x\\a.dat"},
    // The extra folder is a sibling mirrored folder: the file goes beside it.
    {L"C:\\M\\Tools", L"Data\\x\\a.dat", L"Data", L"x\\a.dat", L"C:\\M\\Data\\x\\a.dat"},
    {L"C:\\M\\tools", L"Data\\a.dat", L"Data", L"a.dat", L"C:\\M\\Data\\a.dat"},
    // Any other folder takes the whole relative path.
    {L"C:\\M\\Other", L"Data\\x\\a.dat", L"Data", L"x\\a.dat", L"C:\\M\\Other\\Data\\x\\a.dat"},
    {L"C:\\", L"Data\\x\\a.dat", L"Data", L"x\\a.dat", L"C:\\Data\\x\\a.dat"},
    {L"C:\\M\\Data\\", L"Data\\a.dat", L"Data", L"a.dat", L"C:\\M\\Data\\Data\\a.dat"},
    // A relative path that is the folder itself has no remainder.
    {L"C:\\M\\Data", L"Data", L"Data", L"", L"C:\\M\\Data\\Data"},
    {L"C:\\M\\Tools", L"Data", L"Data", L"", L"C:\\M\\Tools\\Data"},
};

struct MstaTextCase {
    std::wstring_view text;
    std::wstring_view value;
};

inline constexpr MstaTextCase kMstaTextCases[] = {
    {L"[Paths]\r\nMstaFolder=D:\\Msta\r\n", L"D:\\Msta"},
    // Any section, any letter case, blanks around key and value, quotes with blanks inside.
    {L"[Other]\r\n  mstafolder \t=  \"  D:\\Msta Folder\\Sub  \"  \r\n", L"D:\\Msta Folder\\Sub"},
    // An empty value ends the search.
    {L"MstaFolder=\r\nMstaFolder=D:\\Later\r\n", L""},
    {L"MstaFolder=   \"\"\r\nMstaFolder=D:\\Later\r\n", L""},
    // Comments, section lines, lines without "=" and other keys are passed over.
    {L"; MstaFolder=D:\\c1\n# MstaFolder=D:\\c2\n[MstaFolder=D:\\s]\nMstaFolder D:\\no\nMstaFolderX=D:\\x\n"
     L"MSTAFOLDER=D:\\Real\n",
     L"D:\\Real"},
    // CR alone ends a line as well; "=" inside the value stays.
    {L"A=1\rMstaFolder=a=b\r", L"a=b"},
    {L"\r\n\r\n\n MstaFolder = x\ty ", L"x\ty"},
    {L"MstaFolder=\"", L"\""},
    {L"MstaFolder=\"D:\\a", L"\"D:\\a"},
    {L"", L""},
    {L"[Settings]\r\nOther=1\r\n", L""},
};

}  // namespace zel::test
