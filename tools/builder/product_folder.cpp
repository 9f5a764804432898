#include "builder/product_folder.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "builder/product_checks.h"
#include "config/ini_document.h"
#include "config/setup_config.h"
#include "install/files/files_pattern.h"
#include "payload/payload_archive.h"
#include "util/ascii.h"
#include "util/unicode.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    quoted.append(text);
    quoted.push_back('"');
    return quoted;
}

std::vector<std::uint8_t> ReadFileBytes(const fs::path& path, const std::string& what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot open " + what + " " + QuotedPath(path));
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) Fail("cannot read " + what + " " + QuotedPath(path));
    return bytes;
}

std::string FoldAscii(std::string_view text) {
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) { return AsciiLower(c); });
    return folded;
}

bool IsDeviceName(std::string_view element) {
    // The part before the first dot, without trailing blanks, decides.
    std::string stem = FoldAscii(element.substr(0, element.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static constexpr std::array<std::string_view, 4> kPlain = {"con", "prn", "aux", "nul"};
    if (std::find(kPlain.begin(), kPlain.end(), stem) != kPlain.end()) return true;
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' && stem[3] <= '9';
}

// Whether the path, with its links resolved, lies inside the folder (given in
// canonical form).
bool LeadsInside(const fs::path& path, const fs::path& canonicalFolder) {
    std::error_code ec;
    const fs::path target = fs::canonical(path, ec);
    if (ec) return false;
    const fs::path rel = target.lexically_relative(canonicalFolder);
    return !rel.empty() && *rel.begin() != "..";
}

// Refuses a file whose bytes may come from outside the product folder: a link
// that leads out, or a file with further hard links (another name of the same
// file may lie anywhere on the volume).
void CheckStaysInside(const fs::path& path, const std::string& name, const fs::path& canonicalProduct) {
    if (!LeadsInside(path, canonicalProduct)) {
        Fail(name + " is a link to a file outside the product folder; copy the file there instead");
    }
    const std::uintmax_t links = fs::hard_link_count(path);
    if (links > 1) {
        Fail(name + " has " + std::to_string(links) +
             " hard links, so it may be a file from outside the product folder; copy it instead of linking it");
    }
}

// The files below files/, checked, as archive items named "files/...". The walk
// is done folder by folder so that an unreadable folder can be named.
void ListPayloadFolder(const fs::path& dir, const fs::path& filesDir, const fs::path& canonicalProduct,
                       std::vector<ProductItem>& items) {
    auto nameOf = [&](const fs::path& path) {
        const std::u8string rel = path.lexically_relative(filesDir).generic_u8string();
        return "files/" + std::string(rel.begin(), rel.end());
    };
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) Fail("cannot read the folder " + QuotedPath(dir) + ": " + ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const fs::directory_entry& entry = *it;
        const std::string name = nameOf(entry.path());
        const fs::file_status linkStatus = entry.symlink_status();
        if (fs::is_directory(linkStatus)) {
            ListPayloadFolder(entry.path(), filesDir, canonicalProduct, items);
            continue;
        }
        fs::file_status status = linkStatus;
        if (fs::is_symlink(linkStatus)) {
            std::error_code statusError;
            status = fs::status(entry.path(), statusError);
            if (!fs::exists(status)) Fail(Quoted(name) + " is a link to nothing");
            if (fs::is_directory(status)) {
                Fail(Quoted(name) +
                     " is a link to a folder; links to folders are not followed, put the folder there instead");
            }
        }
        if (!fs::is_regular_file(status)) Fail(Quoted(name) + " is not a regular file (a device, pipe or socket)");
        CheckStaysInside(entry.path(), Quoted(name), canonicalProduct);
        ProductItem item;
        item.name = name;
        item.source = entry.path();
        item.size = fs::file_size(entry.path());
        items.push_back(std::move(item));
    }
    if (ec) Fail("cannot read the folder " + QuotedPath(dir) + ": " + ec.message());
}

void CheckName(const std::string& name) {
    const std::string problem = WindowsNameProblem(name);
    if (!problem.empty()) Fail("cannot store " + Quoted(name) + ": " + problem);
    if (!IsSafeEntryName(name)) Fail("cannot store " + Quoted(name) + ": not a plain relative path");
}

}  // namespace

std::string PathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string QuotedPath(const std::filesystem::path& path) { return Quoted(PathToUtf8(path)); }

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::vector<std::uint8_t> SetupIniAsStored(std::span<const std::uint8_t> bytes) {
    constexpr const char* kTwoMarks =
        "setup.ini starts with two byte-order marks (an editor added one to a file that had one); save it with one";
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (bytes.size() % 2 != 0) Fail("setup.ini: UTF-16LE text with an odd number of bytes");
        if (bytes.size() >= 4 && bytes[2] == 0xFF && bytes[3] == 0xFE) Fail(kTwoMarks);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        Fail("setup.ini is UTF-16 big-endian; save it as UTF-8 or as UTF-16LE with a byte-order mark");
    }
    std::span<const std::uint8_t> body = bytes;
    if (body.size() >= 3 && body[0] == 0xEF && body[1] == 0xBB && body[2] == 0xBF) body = body.subspan(3);
    std::wstring text;
    if (!Utf8ToWideStrict(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()), text)) {
        Fail(
            "setup.ini is neither valid UTF-8 nor UTF-16LE with a byte-order mark (a legacy code page such as "
            "Shift_JIS?); save it as UTF-8 or as UTF-16LE with a byte-order mark");
    }
    if (!text.empty() && text.front() == L'\xFEFF') Fail(kTwoMarks);
    if (text.find(L'\0') != std::wstring::npos) {
        Fail(
            "setup.ini holds NUL characters (UTF-16 without a byte-order mark?); save it as UTF-8 or as UTF-16LE with "
            "a byte-order mark");
    }
    std::vector<std::uint8_t> stored = {0xFF, 0xFE};
    const std::vector<std::uint8_t> utf16 = EncodeUtf16Le(text);
    stored.insert(stored.end(), utf16.begin(), utf16.end());
    return stored;
}

std::wstring DecodeLicenseText(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (bytes.size() % 2 != 0) return {};
        std::wstring text = DecodeUtf16Le(bytes.subspan(2));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) bytes = bytes.subspan(3);
    return Utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string WindowsNameProblem(std::string_view name) {
    std::wstring decoded;
    if (!Utf8ToWideStrict(name, decoded)) return "the name is not valid UTF-8";
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view element = name.substr(start, end - start);
        for (const char c : element) {
            if (static_cast<unsigned char>(c) < 0x20) return "control characters are not allowed in Windows file names";
            if (std::string_view("<>:\"\\|?*").find(c) != std::string_view::npos) {
                return std::string("'") + c + "' is not allowed in Windows file names";
            }
        }
        if (!element.empty() && (element.back() == '.' || element.back() == ' ')) {
            return "Windows removes a trailing dot or space from file names";
        }
        if (IsDeviceName(element)) return Quoted(element) + " is a device name on Windows";
        start = end + 1;
    }
    return {};
}

ProductPlan ReadProductFolder(const std::filesystem::path& folder) {
    if (!fs::is_directory(folder))
        Fail("the product folder " + QuotedPath(folder) + " does not exist or is not a folder");

    // setup.ini, stored in the form the installer reads.
    const fs::path iniPath = folder / "setup.ini";
    if (!fs::is_regular_file(iniPath)) Fail("no setup.ini in the product folder " + QuotedPath(folder));
    ProductItem ini;
    ini.name = "setup.ini";
    ini.data = SetupIniAsStored(ReadFileBytes(iniPath, "setup.ini"));
    ini.size = ini.data.size();
    const IniDocument document = IniDocument::Parse(ini.data);
    ProductPlan plan;
    CheckIniStructure(document, plan.warnings);
    SetupConfig& config = plan.config;
    LoadSetupConfig(document, config);
    std::error_code ec;
    const fs::path canonicalProduct = fs::canonical(folder, ec);
    if (ec) Fail("cannot resolve the product folder " + QuotedPath(folder) + ": " + ec.message());
    CheckStaysInside(iniPath, "setup.ini", canonicalProduct);

    // The licence file, under the name setup.ini gives it.
    if (config.LicenseFile.empty()) {
        Fail("setup.ini: [Setup] has no LicenseFile (the licence text the wizard shows, e.g. LicenseFile=License.txt)");
    }
    // The installer would read a longer value cut short.
    if (document.GetValue(L"Setup", L"LicenseFile").value_or(L"").size() > kMaxSetupValueLength) {
        Fail("setup.ini: LicenseFile is longer than 511 characters");
    }
    const std::string licenseName = WideToUtf8(ReplaceAll(config.LicenseFile, L'\\', L'/'));
    if (!IsSafeEntryName(licenseName) || !WindowsNameProblem(licenseName).empty()) {
        Fail("setup.ini: LicenseFile " + Quoted(licenseName) +
             " must be a relative path inside the product folder (no drive, no leading separator, no \"..\")");
    }
    const fs::path licensePath = folder / PathFromUtf8(licenseName);
    if (!fs::exists(licensePath, ec)) {
        Fail("the licence file " + Quoted(licenseName) + " (LicenseFile in setup.ini) is not in the product folder " +
             QuotedPath(folder));
    }
    if (!fs::is_regular_file(licensePath)) Fail("the licence file " + Quoted(licenseName) + " is not a regular file");
    CheckStaysInside(licensePath, "the licence file " + Quoted(licenseName), canonicalProduct);
    const std::vector<std::uint8_t> licenseBytes = ReadFileBytes(licensePath, "the licence file");
    if (licenseBytes.empty()) Fail("the licence file " + Quoted(licenseName) + " is empty");
    if (DecodeLicenseText(licenseBytes).empty()) {
        Fail("the licence file " + Quoted(licenseName) +
             " holds no text (UTF-16LE needs an even number of bytes and some text after its byte-order mark)");
    }

    // files/.
    const fs::path filesDir = folder / "files";
    if (!fs::is_directory(filesDir)) Fail("no files/ folder in the product folder " + QuotedPath(folder));
    if (!LeadsInside(filesDir, canonicalProduct)) {
        Fail("files/ is a link to a folder outside the product folder; put the folder there instead");
    }
    std::vector<ProductItem> files;
    ListPayloadFolder(filesDir, filesDir, canonicalProduct, files);
    // Sorted now so that a refusal names the same file on every run.
    std::sort(files.begin(), files.end(), [](const ProductItem& a, const ProductItem& b) { return a.name < b.name; });

    std::map<std::string, std::string> folded;  // ASCII-folded name -> name
    auto add = [&](ProductItem item) {
        CheckName(item.name);
        const auto [it, inserted] = folded.emplace(FoldAscii(item.name), item.name);
        if (!inserted) {
            Fail(Quoted(it->second) + " and " + Quoted(item.name) +
                 " differ only in letter case; Windows would keep only one of them");
        }
        plan.items.push_back(std::move(item));
    };
    add(std::move(ini));
    for (ProductItem& item : files) add(std::move(item));
    // A licence below files/ is already listed (on Windows possibly spelt with
    // other letter case); anywhere else it is added on its own.
    if (!folded.contains(FoldAscii(licenseName))) {
        ProductItem license;
        license.name = licenseName;
        license.source = licensePath;
        license.size = licenseBytes.size();
        add(std::move(license));
    }
    std::sort(plan.items.begin(), plan.items.end(),
              [](const ProductItem& a, const ProductItem& b) { return a.name < b.name; });

    // [Files]: the same selection as the install, the licence file excluded.
    const std::wstring licenseRel = LicenseRelativePath(config.LicenseFile);
    std::vector<std::string> names;
    std::vector<std::wstring> payloadFiles;
    for (const ProductItem& item : plan.items) {
        names.push_back(item.name);
        if (!item.name.starts_with("files/")) continue;
        const std::wstring rel = ReplaceAll(Utf8ToWide(std::string_view(item.name).substr(6)), L'/', L'\\');
        payloadFiles.push_back(rel);
        if (EqualsIgnoreAsciiCase(rel, licenseRel) && FoldAscii(item.name) != FoldAscii(licenseName)) {
            plan.warnings.push_back(Quoted(item.name) +
                                    " is never installed: its path below files/ matches LicenseFile " +
                                    Quoted(licenseName));
        }
    }
    plan.installs = InstalledFiles(config, names);
    CheckProductRules(ProductFacts{document, config, payloadFiles, plan.installs}, plan.warnings);
    return plan;
}

std::vector<std::wstring> InstalledFiles(const SetupConfig& config, const std::vector<std::string>& payloadNames) {
    const std::wstring licenseRel = LicenseRelativePath(config.LicenseFile);
    std::vector<std::wstring> installs;
    for (const std::string& name : payloadNames) {
        if (!name.starts_with("files/")) continue;
        const std::wstring rel = ReplaceAll(Utf8ToWide(std::string_view(name).substr(6)), L'/', L'\\');
        if (!licenseRel.empty() && EqualsIgnoreAsciiCase(rel, licenseRel)) continue;
        const bool selected =
            config.Files.empty() || std::any_of(config.Files.begin(), config.Files.end(),
                                                [&](const std::wstring& p) { return MatchFilesPattern(rel, p); });
        if (selected) installs.push_back(rel);
    }
    std::sort(installs.begin(), installs.end());
    return installs;
}

}  // namespace zel
