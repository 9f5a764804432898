#include "builder/listing.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "builder/pe/pe_stub.h"
#include "builder/pe/resource_tree.h"
#include "builder/pe/version_resource.h"
#include "builder/product/path_text.h"
#include "builder/product/product_folder.h"
#include "builder/product/terminal_text.h"
#include "config/ini_document.h"
#include "payload/payload_archive.h"
#include "payload/payload_resource.h"
#include "util/unicode.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

struct Entry {
    std::string name;
    std::uint64_t size = 0;
};

// The part both listings share: entries, what an install copies, the system
// folder files and setup.ini's text (stored UTF-16LE with its mark).
void ListContents(const std::vector<Entry>& entries, std::span<const std::uint8_t> setupIni, std::ostream& out) {
    std::uint64_t total = 0;
    for (const Entry& entry : entries) total += entry.size;
    out << "payload: " << entries.size() << " entries, " << total << " bytes\n";
    for (const Entry& entry : entries) {
        char size[32];
        std::snprintf(size, sizeof(size), "%12llu", static_cast<unsigned long long>(entry.size));
        out << "  " << size << "  " << TerminalText(entry.name) << "\n";
    }
    SetupConfig config;
    LoadSetupConfig(IniDocument::Parse(setupIni), config);
    std::vector<std::string> names;
    for (const Entry& entry : entries) names.push_back(entry.name);
    const std::vector<std::wstring> installs = InstalledFiles(config, names);
    out << "installs: " << installs.size() << " files selected by [Files], below the install folder\n";
    for (const std::wstring& rel : installs) out << "  " << TerminalText(WideToUtf8(rel)) << "\n";
    out << "system folder: " << config.System32RegSvr.size() << " files from [System32RegSvr]\n";
    for (const std::wstring& entry : config.System32RegSvr)
        out << "  files\\" << TerminalText(WideToUtf8(entry)) << "\n";
    out << "setup.ini:\n";
    std::wstring text = setupIni.size() >= 2 ? DecodeUtf16Le(setupIni.subspan(2)) : std::wstring();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        out << "  " << TerminalText(WideToUtf8(std::wstring_view(text).substr(start, end - start))) << "\n";
        if (end + 1 < text.size() && text[end] == L'\r' && text[end + 1] == L'\n') ++end;
        start = end + 1;
    }
}

}  // namespace

void ListSetupExe(const fs::path& setupExe, std::ostream& out) {
    std::ifstream in(setupExe, std::ios::binary);
    if (!in) Fail("cannot open " + QuotedPath(setupExe));
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) Fail("cannot read " + QuotedPath(setupExe));
    std::unique_ptr<PeStub> image;
    try {
        image = std::make_unique<PeStub>(std::move(bytes), PeStub::kInspect);
    } catch (const std::runtime_error& e) {
        Fail(QuotedPath(setupExe) + " cannot be read: " + e.what());
    }
    const ResourceName* payload = FindResource(image->resources(), kRtRcdata, kPayloadResourceId);
    std::vector<PayloadEntry> archiveEntries;
    if (payload == nullptr || payload->languages.empty() ||
        !ParsePayloadArchive(payload->languages.front().data, archiveEntries)) {
        Fail(QuotedPath(setupExe) + " has no payload (RT_RCDATA 101); it is not a setup.exe made by InstallerBuilder");
    }
    const std::vector<std::uint8_t>& archive = payload->languages.front().data;

    std::string builtBy = "unknown (no " + WideToUtf8(kBuilderVersionKey) + " in its version resource)";
    if (const ResourceName* version = FindResource(image->resources(), kRtVersion, 1)) {
        if (!version->languages.empty()) {
            for (const auto& [key, value] : ReadVersionStrings(version->languages.front().data)) {
                if (key == kBuilderVersionKey) builtBy = "InstallerBuilder " + WideToUtf8(value);
            }
        }
    }
    out << "setup.exe: " << TerminalText(PathToUtf8(setupExe)) << "\n";
    out << "made by: " << TerminalText(builtBy) << "\n";

    std::vector<Entry> entries;
    std::span<const std::uint8_t> setupIni;
    for (const PayloadEntry& entry : archiveEntries) {
        entries.push_back({entry.name, entry.size});
        if (entry.name == "setup.ini") {
            setupIni = std::span<const std::uint8_t>(archive).subspan(static_cast<std::size_t>(entry.offset),
                                                                      static_cast<std::size_t>(entry.size));
        }
    }
    ListContents(entries, setupIni, out);
}

void ListProductFolder(const fs::path& folder, std::ostream& out, std::vector<std::string>& warnings) {
    ProductPlan plan = ReadProductFolder(folder);
    out << "product folder: " << TerminalText(PathToUtf8(folder)) << "\n";
    std::vector<Entry> entries;
    std::span<const std::uint8_t> setupIni;
    for (const ProductItem& item : plan.items) {
        entries.push_back({item.name, item.size});
        if (item.name == "setup.ini") setupIni = item.data;
    }
    ListContents(entries, setupIni, out);
    warnings = std::move(plan.warnings);
}

}  // namespace zel
