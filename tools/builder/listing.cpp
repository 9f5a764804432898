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
#include "payload/block_reader.h"
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

std::string_view MethodName(BlockMethod method) {
    switch (method) {
        case BlockMethod::Stored:
            return "stored";
        case BlockMethod::Deflate:
            return "deflate";
        case BlockMethod::Lzma2:
            return "lzma2";
    }
    return "?";
}

std::string Percent(std::uint64_t part, std::uint64_t whole) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f %%",
                  whole == 0 ? 100.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
}

// A setup.exe's entries: how each is stored, its stored and original size,
// and the totals. An entry that shares its block with others lists the
// block's stored size on the block's first entry only.
void ListArchiveEntries(const PayloadArchive& archive, std::ostream& out) {
    std::uint64_t stored = archive.directorySize;
    std::uint64_t original = 0;
    for (const PayloadBlock& block : archive.blocks) stored += block.storedSize;
    for (const PayloadEntry& entry : archive.entries) original += entry.size;
    out << "payload: " << archive.entries.size() << " entries, " << original << " bytes; stored in "
        << archive.blocks.size() << " blocks as " << stored << " bytes (" << Percent(stored, original)
        << ", format version " << archive.version << ")\n";
    out << "  method          stored      original  name\n";
    std::vector<bool> shown(archive.blocks.size(), false);
    for (const PayloadEntry& entry : archive.entries) {
        const PayloadBlock& block = archive.blocks[entry.block];
        char line[96];
        if (shown[entry.block]) {
            std::snprintf(line, sizeof(line), "  %-8s %13s  %12llu", std::string(MethodName(block.method)).c_str(),
                          "(same block)", static_cast<unsigned long long>(entry.size));
        } else {
            std::snprintf(line, sizeof(line), "  %-8s %13llu  %12llu", std::string(MethodName(block.method)).c_str(),
                          static_cast<unsigned long long>(block.storedSize),
                          static_cast<unsigned long long>(entry.size));
        }
        shown[entry.block] = true;
        out << line << "  " << TerminalText(entry.name) << "\n";
    }
}

// A product folder's entries with their sizes.
void ListFolderEntries(const std::vector<Entry>& entries, std::ostream& out) {
    std::uint64_t total = 0;
    for (const Entry& entry : entries) total += entry.size;
    out << "payload: " << entries.size() << " entries, " << total << " bytes\n";
    for (const Entry& entry : entries) {
        char size[32];
        std::snprintf(size, sizeof(size), "%12llu", static_cast<unsigned long long>(entry.size));
        out << "  " << size << "  " << TerminalText(entry.name) << "\n";
    }
}

// The part both listings share: what an install copies, the system folder
// files and setup.ini's text (stored UTF-16LE with its mark).
void ListContents(const std::vector<std::string>& names, std::span<const std::uint8_t> setupIni, std::ostream& out) {
    SetupConfig config;
    LoadSetupConfig(IniDocument::Parse(setupIni), config);
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
    PayloadArchive archive;
    if (payload == nullptr || payload->languages.empty() ||
        !ParsePayloadArchive(payload->languages.front().data, archive)) {
        Fail(QuotedPath(setupExe) + " has no payload (RT_RCDATA 101); it is not a setup.exe made by InstallerBuilder");
    }
    const std::vector<std::uint8_t>& stored = payload->languages.front().data;

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

    std::vector<std::string> names;
    std::vector<std::uint8_t> setupIni;
    for (const PayloadEntry& entry : archive.entries) {
        names.push_back(entry.name);
        if (entry.name != "setup.ini") continue;
        // setup.ini as setup.exe reads it, decoded when it is compressed.
        setupIni.clear();
        const BlockRead read = ReadBlockRange(stored, archive.blocks[entry.block], entry.offset, entry.size,
                                              [&](std::span<const std::uint8_t> chunk) {
                                                  setupIni.insert(setupIni.end(), chunk.begin(), chunk.end());
                                                  return true;
                                              });
        if (read != BlockRead::Done)
            Fail(QuotedPath(setupExe) + ": the payload's setup.ini does not decode; the file is damaged");
    }
    ListArchiveEntries(archive, out);
    ListContents(names, setupIni, out);
}

void ListProductFolder(const fs::path& folder, std::ostream& out, std::vector<std::string>& warnings) {
    ProductPlan plan = ReadProductFolder(folder);
    out << "product folder: " << TerminalText(PathToUtf8(folder)) << "\n";
    out << "compression: " << CompressionName(plan.compression.method)
        << (plan.compression.given ? " ([Setup] Compression)" : " (the default; [Setup] Compression chooses)") << "\n";
    std::vector<Entry> entries;
    std::vector<std::string> names;
    std::span<const std::uint8_t> setupIni;
    for (const ProductItem& item : plan.items) {
        entries.push_back({item.name, item.size});
        names.push_back(item.name);
        if (item.name == "setup.ini") setupIni = item.data;
    }
    ListFolderEntries(entries, out);
    ListContents(names, setupIni, out);
    warnings = std::move(plan.warnings);
}

}  // namespace zel
