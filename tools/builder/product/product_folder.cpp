#include "builder/product/product_folder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "builder/product/license_text.h"
#include "builder/product/path_text.h"
#include "builder/product/placeholder_checks.h"
#include "builder/product/product_checks.h"
#include "builder/product/setup_ini_text.h"
#include "builder/product/windows_names.h"
#include "config/ini_document.h"
#include "config/setup_config.h"
#include "install/files/files_pattern.h"
#include "payload/payload_archive.h"
#include "payload/payload_files.h"
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
    plan.compression = CompressionOfSetupIni(document);
    std::error_code ec;
    const fs::path canonicalProduct = fs::canonical(folder, ec);
    if (ec) Fail("cannot resolve the product folder " + QuotedPath(folder) + ": " + ec.message());
    CheckStaysInside(iniPath, "setup.ini", canonicalProduct);

    // The licence file, under the name setup.ini gives it.
    if (config.LicenseFile.empty()) FailNoLicenseFile(document);
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
    const std::wstring licenseText = DecodeLicenseText(licenseBytes);
    if (licenseText.empty()) {
        Fail("the licence file " + Quoted(licenseName) +
             " holds no text (UTF-16LE needs an even number of bytes and some text after its byte-order mark)");
    }
    if (const std::string problem = LicenseEncodingProblem(licenseBytes); !problem.empty()) {
        plan.warnings.push_back("the licence file " + Quoted(licenseName) + " " + problem +
                                "; save it as UTF-8 or as UTF-16LE with a byte-order mark");
    }
    CheckNoPlaceholders(document, licenseName, licenseText);

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

    // Names folded as the file system compares them (not only A-Z): two that
    // fold alike would be one file on Windows.
    std::map<std::u16string, std::string> folded;  // folded name -> name
    auto add = [&](ProductItem item) {
        CheckName(item.name);
        const auto [it, inserted] = folded.emplace(FoldedPayloadName(item.name), item.name);
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
    if (!folded.contains(FoldedPayloadName(licenseName))) {
        ProductItem license;
        license.name = licenseName;
        license.source = licensePath;
        license.size = licenseBytes.size();
        add(std::move(license));
    }
    // A file whose name folds like a folder of another ("files/Data" beside
    // "files/data/x") cannot be made on Windows either.
    for (const auto& [key, name] : folded) {
        for (std::size_t slash = key.find(u'/'); slash != std::u16string::npos; slash = key.find(u'/', slash + 1)) {
            if (const auto file = folded.find(key.substr(0, slash)); file != folded.end()) {
                Fail(Quoted(file->second) + " and the folder of " + Quoted(name) +
                     " differ only in letter case; Windows cannot hold a file and a folder of one name");
            }
        }
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
