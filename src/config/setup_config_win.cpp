// Loads setup.ini through the Win32 profile functions, which read the payload's
// UTF-16LE file (with its byte-order mark) as Unicode.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "config/setup_config.h"

namespace zel {
namespace {

constexpr DWORD kValueBufferLength = 512;
// The first section buffer; it doubles until the whole section fits.
constexpr DWORD kSectionBufferLength = 65536;
// A section the profile reader cannot hand over in 256 Mi characters is not
// read further (no setup.ini the builder accepts comes near it).
constexpr DWORD kSectionBufferLimit = DWORD{1} << 28;

std::wstring ReadSetupValue(const std::wstring& iniPath, const wchar_t* key, const std::wstring& fallback) {
    std::vector<wchar_t> buffer(kValueBufferLength, L'\0');
    const DWORD length =
        ::GetPrivateProfileStringW(L"Setup", key, fallback.c_str(), buffer.data(), kValueBufferLength, iniPath.c_str());
    return std::wstring(buffer.data(), length);
}

// The values of a section's "key=value" lines, in file order.
std::vector<std::wstring> ReadSectionValues(const std::wstring& iniPath, const wchar_t* section) {
    // The reader signals a section cut short by returning the buffer size less
    // two; a bigger buffer is then tried, so no line is ever lost or cut.
    std::vector<wchar_t> buffer;
    DWORD length = 0;
    for (DWORD size = kSectionBufferLength;; size *= 2) {
        buffer.assign(size, L'\0');
        length = ::GetPrivateProfileSectionW(section, buffer.data(), size, iniPath.c_str());
        if (length + 2 != size || size >= kSectionBufferLimit) break;
    }
    if (length == 0) return {};

    // A block of NUL-terminated lines ended by an empty one. The walk stays inside
    // the buffer even if a cut-off block lacks its final NULs.
    std::vector<std::wstring> lines;
    const wchar_t* const end = buffer.data() + buffer.size();
    for (const wchar_t* line = buffer.data(); line < end && *line != L'\0';) {
        const std::size_t lineLength = ::wcsnlen(line, static_cast<std::size_t>(end - line));
        lines.emplace_back(line, lineLength);
        line += lineLength + 1;
    }
    return SectionValuesFromLines(lines);
}

}  // namespace

void LoadSetupConfig(const std::filesystem::path& iniPath, SetupConfig& config) {
    const std::wstring path = iniPath.wstring();
    ReadSetupKeys(
        [&path](const wchar_t* key, const std::wstring& fallback) { return ReadSetupValue(path, key, fallback); },
        config);
    ApplySectionValues(ReadSectionValues(path, L"Files"), ReadSectionValues(path, L"System32RegSvr"),
                       ReadSectionValues(path, L"StartMenuItems"), config);
}

}  // namespace zel
