#include "install/system_folder/shared_dll_count.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

#include "config/text_encoding.h"
#include "install/destination/folder_security.h"
#include "install/files/manifest.h"
#include "util/ascii.h"
#include "util/file_removal.h"
#include "util/path_forms.h"
#include "util/unique_handle.h"

namespace fs = std::filesystem;

namespace zel {
namespace {

constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

// Copies of the system manifests: one REG_MULTI_SZ value per manifest, named by
// its full path, in the 64-bit view.
constexpr wchar_t kSystemManifestsKeyPath[] = L"SOFTWARE\\ZelSetup\\SystemManifests";

REGSAM ViewFlag(bool use32BitView) { return use32BitView ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

// Anything by that name counts as there: a file, a folder, a link; so does a
// name whose state cannot be read.
bool NameIsTaken(const fs::path& path) {
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::optional<DWORD> ReadSharedDllCount(const fs::path& file, bool use32BitView) {
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSharedDllsKeyPath, 0, KEY_QUERY_VALUE | ViewFlag(use32BitView),
                        key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExW(key.get(), file.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return std::nullopt;
    }
    return value;
}

bool WriteSharedDllCount(const fs::path& file, bool use32BitView, DWORD count) {
    UniqueHKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSharedDllsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | ViewFlag(use32BitView), nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    if (count == 0) {
        const LSTATUS status = ::RegDeleteValueW(key.get(), file.c_str());
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    return ::RegSetValueExW(key.get(), file.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                            sizeof(count)) == ERROR_SUCCESS;
}

bool ReleaseSharedFile(const fs::path& file, bool use32BitView) {
    const std::optional<DWORD> count = ReadSharedDllCount(file, use32BitView);
    if (!count || *count == 0) return false;
    if (*count > 1) {
        WriteSharedDllCount(file, use32BitView, *count - 1);
        return false;
    }
    return WriteSharedDllCount(file, use32BitView, 0);
}

std::optional<unsigned long long> ReadFileVersion(const fs::path& file) {
    // Mapped as an image resource only: nothing of the file runs, and its
    // imports are not loaded.
    const UniqueModule image(
        ::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!image) return std::nullopt;
    HRSRC resource = ::FindResourceW(image.get(), MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    if (!resource) return std::nullopt;
    const DWORD size = ::SizeofResource(image.get(), resource);
    HGLOBAL loaded = ::LoadResource(image.get(), resource);
    const auto* bytes = loaded ? static_cast<const std::uint8_t*>(::LockResource(loaded)) : nullptr;
    if (!bytes || size < sizeof(VS_FIXEDFILEINFO)) return std::nullopt;
    // VS_FIXEDFILEINFO follows the "VS_VERSION_INFO" header on a 32-bit
    // boundary; its signature finds it without walking the header.
    for (DWORD offset = 0; offset + sizeof(VS_FIXEDFILEINFO) <= size; offset += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, bytes + offset, sizeof(info));
        if (info.dwSignature == kFixedFileInfoSignature) {
            return (static_cast<unsigned long long>(info.dwFileVersionMS) << 32) | info.dwFileVersionLS;
        }
    }
    return std::nullopt;
}

bool MayReplace(const fs::path& ours, const fs::path& there, bool listedAsOurs) {
    const std::optional<unsigned long long> ourVersion = ReadFileVersion(ours);
    const std::optional<unsigned long long> theirVersion = ReadFileVersion(there);
    if (ourVersion && theirVersion) return *ourVersion >= *theirVersion;
    if (ourVersion || theirVersion) return ourVersion.has_value();
    return listedAsOurs;
}

bool HaveSameContent(const fs::path& a, const fs::path& b) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(a, error);
    if (error || fs::file_size(b, error) != size || error) return false;
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    if (!first || !second) return false;
    std::array<char, 64 * 1024> left{};
    std::array<char, 64 * 1024> right{};
    for (;;) {
        first.read(left.data(), left.size());
        second.read(right.data(), right.size());
        const std::streamsize got = first.gcount();
        if (got != second.gcount()) return false;
        if (got == 0) return first.eof() && second.eof();
        if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(got)) != 0) return false;
    }
}

SharedFilePlan PlanSharedFile(bool targetExists, bool hasCount, bool listedAsOurs, bool mayReplace) {
    if (!targetExists) return SharedFilePlan::PlaceNew;
    if (!hasCount && !listedAsOurs) return SharedFilePlan::LeaveForeign;
    return mayReplace ? SharedFilePlan::Replace : SharedFilePlan::KeepExisting;
}

DWORD RaisedCount(std::optional<DWORD> count, bool alreadyCounted) {
    if (!count || *count == 0) return 1;
    if (alreadyCounted || *count == MAXDWORD) return *count;
    return *count + 1;
}

SharedPlacement PlaceSharedFile(const fs::path& source, const fs::path& target, bool use32BitView,
                                std::vector<std::wstring>& countedFiles, std::vector<RaisedSharedCount>& raisedCounts,
                                std::wstring& logLine, std::wstring& errorText) {
    logLine.clear();
    const bool exists = NameIsTaken(target);
    const std::optional<DWORD> count = ReadSharedDllCount(target, use32BitView);
    const bool hasCount = count && *count > 0;
    // Listed by this product's trusted record: placed by an earlier run of it,
    // perhaps before counting began, so it is ours to replace and to count.
    const bool alreadyCounted = std::any_of(countedFiles.begin(), countedFiles.end(), [&](const std::wstring& file) {
        return EqualsIgnoreAsciiCase(file, target.native());
    });
    const SharedFilePlan plan =
        PlanSharedFile(exists, hasCount, alreadyCounted, exists && MayReplace(source, target, alreadyCounted));

    if (plan == SharedFilePlan::LeaveForeign) {
        logLine = L"[警告] 参照カウントのない同名ファイルがあるため置き換えません: " + target.wstring();
        return HaveSameContent(source, target) ? SharedPlacement::Uncounted : SharedPlacement::Skipped;
    }

    // Counted before the copy: a failed copy then leaves a count that this
    // product's later attempt does not raise again, never a file without one.
    if (!WriteSharedDllCount(target, use32BitView, RaisedCount(count, alreadyCounted))) {
        errorText = L"共有ファイルの参照カウントを記録できませんでした: " + target.wstring();
        return SharedPlacement::Failed;
    }
    // Raised, or started on a file of this product's that had none yet.
    if (!alreadyCounted || !hasCount) raisedCounts.push_back({target.wstring(), use32BitView, !exists, alreadyCounted});
    if (!alreadyCounted) countedFiles.push_back(target.wstring());

    if (plan == SharedFilePlan::KeepExisting) {
        logLine = L"[情報] システムフォルダのファイルの方が新しいため置き換えません: " + target.wstring();
        return SharedPlacement::Counted;
    }
    if (!::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        errorText = L"システムフォルダへのコピーに失敗しました: " + target.wstring();
        return SharedPlacement::Failed;
    }
    logLine = L"システムフォルダへコピー: " + target.wstring();
    return SharedPlacement::Counted;
}

bool IsTrustedManifest(const fs::path& manifest) {
    return !StandardUsersCanWrite(manifest.parent_path()) && !StandardUsersCanWrite(manifest);
}

namespace {

// The registry value that holds a manifest's copy: its full path, so that one
// install folder's manifests never stand for another's.
std::wstring RecordName(const fs::path& manifest) {
    fs::path canonical;
    return WeaklyCanonical(manifest, canonical) ? canonical.wstring() : manifest.wstring();
}

std::optional<std::vector<std::wstring>> ReadManifestRecord(const fs::path& manifest) {
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSystemManifestsKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring name = RecordName(manifest);
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ) {
        return std::nullopt;
    }
    std::wstring data(size / sizeof(wchar_t) + 2, L'\0');
    size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_MULTI_SZ) {
        return std::nullopt;
    }
    data.resize(size / sizeof(wchar_t));
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t end = std::min(data.find(L'\0', start), data.size());
        if (end > start) lines.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool WriteManifestRecord(const fs::path& manifest, const std::vector<std::wstring>& lines) {
    UniqueHKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSystemManifestsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    std::wstring data;
    for (const std::wstring& line : lines) {
        if (line.empty()) continue;  // an empty string would end the list
        data += line;
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    return ::RegSetValueExW(key.get(), RecordName(manifest).c_str(), 0, REG_MULTI_SZ,
                            reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

bool WriteSystemManifest(const fs::path& manifest, const std::vector<std::wstring>& lines) {
    const bool recorded = WriteManifestRecord(manifest, lines);
    return WriteManifest(manifest, lines) && recorded;
}

std::vector<std::wstring> RecordedManifestLines(const fs::path& manifest) {
    if (std::optional<std::vector<std::wstring>> recorded = ReadManifestRecord(manifest)) return *recorded;
    if (!IsTrustedManifest(manifest)) return {};
    return ReadUtf8Lines(manifest);
}

void ForgetSystemManifest(const fs::path& manifest) {
    // An empty copy, not none: the file may come back with its drive, and it
    // must not be released a second time then.
    WriteManifestRecord(manifest, {});
    DeleteFileAnyway(manifest);
}

std::vector<std::wstring> WithEarlierRecordedLines(const fs::path& manifest, std::vector<std::wstring> lines,
                                                   const std::vector<std::wstring>& placedThisRun) {
    for (std::wstring& earlier : RecordedManifestLines(manifest)) {
        const auto same = [&earlier](const std::wstring& line) { return EqualsIgnoreAsciiCase(line, earlier); };
        if (std::none_of(placedThisRun.begin(), placedThisRun.end(), same) &&
            std::none_of(lines.begin(), lines.end(), same)) {
            lines.push_back(std::move(earlier));
        }
    }
    return lines;
}

std::vector<std::wstring> CountedSystemFiles(const fs::path& installDir) {
    std::vector<std::wstring> files;
    for (const wchar_t* name : {kRegsvrManifestName, kCopyManifestName}) {
        const std::vector<std::wstring> lines = RecordedManifestLines(installDir / name);
        files.insert(files.end(), lines.begin(), lines.end());
    }
    return files;
}

}  // namespace zel
