#include "builder/installer_builder.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "builder/compressed_payload.h"
#include "builder/output_checks.h"
#include "builder/pe/icon_resource.h"
#include "builder/pe/payload_embedding.h"
#include "builder/pe/pe_stub.h"
#include "builder/pe/resource_tree.h"
#include "builder/pe/version_resource.h"
#include "builder/product/item_bytes.h"
#include "builder/product/path_text.h"
#include "builder/product/product_folder.h"
#include "payload/payload_archive.h"
#include "payload/payload_digest.h"
#include "payload/payload_files.h"
#include "payload/payload_resource.h"
#include "payload/xxh64.h"
#include "util/unicode.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunkSize = 1 << 20;
// A stored payload larger than this gets a note that compression would help.
constexpr std::uint64_t kStoredNoteSize = 16ull << 20;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string Mib(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

class FileSink : public ByteSink {
public:
    FileSink(std::ofstream& out, const fs::path& path) : out_(out), path_(path) {}
    void Write(std::span<const std::uint8_t> bytes) override {
        out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out_) Fail("cannot write " + QuotedPath(path_) + " (disk full?)");
    }

private:
    std::ofstream& out_;
    const fs::path& path_;
};

// Removes the temporary output unless the build got as far as renaming it.
class TempFile {
public:
    explicit TempFile(fs::path path) : path_(std::move(path)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    const fs::path& path() const { return path_; }
    void Release() { path_.clear(); }

private:
    fs::path path_;
};

fs::path TempPathFor(const fs::path& output) {
    std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof(suffix), ".%08x.tmp", static_cast<unsigned>(random()));
    fs::path name = output.filename();
    name += suffix;
    return output.parent_path() / name;
}

PeStub LoadStub(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot open the stub " + QuotedPath(path) + " (InstallerCore.exe; pass it with --stub)");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) Fail("cannot read the stub " + QuotedPath(path));
    try {
        return PeStub(std::move(bytes));
    } catch (const std::runtime_error& e) {
        Fail("the stub " + QuotedPath(path) + " cannot be used: " + e.what());
    }
}

// The digests setup.exe checks every entry against. They go into the resource
// section ahead of the payload, so every file is read once for them before the
// payload is written.
PayloadDigests DigestPayload(const ProductPlan& plan, std::span<const std::uint8_t> directory,
                             std::vector<std::uint8_t>& buffer) {
    PayloadDigests digests;
    digests.directory = Xxh64(directory);
    digests.blocks.reserve(plan.items.size());
    for (const ProductItem& item : plan.items) {
        digests.blocks.push_back(ReadItemBytes(item, buffer, [](auto) {}));
    }
    return digests;
}

// Copies one entry into the payload; a file whose bytes differ from the ones its
// digest was taken from changed in between, and the digest would refuse it.
void StreamFile(const ProductItem& item, std::uint64_t expectedDigest, std::vector<std::uint8_t>& buffer, ByteSink& out,
                const std::function<void(std::uint64_t)>& advance) {
    const std::uint64_t digest = ReadItemBytes(item, buffer, [&](std::span<const std::uint8_t> chunk) {
        out.Write(chunk);
        advance(chunk.size());
    });
    if (digest != expectedDigest) Fail(QuotedPath(item.source) + " changed while it was read");
}

std::vector<IconImage> LoadIcon(const fs::path& path) {
    if (path.empty()) return {};
    if (fs::is_directory(path)) Fail("the icon " + QuotedPath(path) + " is a folder, not an .ico file");
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot open the icon " + QuotedPath(path));
    // A file larger than any icon is refused before it is read.
    std::error_code ec;
    const std::string sizeProblem = IconFileSizeProblem(fs::file_size(path, ec));
    if (!ec && !sizeProblem.empty()) Fail("the icon " + QuotedPath(path) + " cannot be used: " + sizeProblem);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) Fail("cannot read the icon " + QuotedPath(path));
    try {
        return ParseIconFile(bytes);
    } catch (const std::runtime_error& e) {
        Fail("the icon " + QuotedPath(path) + " cannot be used: " + e.what());
    }
}

// The resources of the output besides the payload: the stub's, with the
// product's own resources set in.
ResourceTree OutputResources(const PeStub& stub, const ProductPlan& plan, const std::vector<IconImage>& icon) {
    ResourceTree resources = stub.resources();
    // The version resource keeps the language the stub gave it.
    const ResourceName* version = FindResource(resources, kRtVersion, 1);
    ResourceKey language;
    if (version != nullptr && !version->languages.empty()) language = version->languages.front().language;
    SetResource(resources, kRtVersion, 1, ResourceLeaf{language, 0, BuildVersionResource(plan.config)});
    if (!icon.empty()) ReplaceIconGroup(resources, kAppIconGroupId, icon);
    return resources;
}

// The output's resources: the stub's own with the product's set in, the
// payload's digests, the payload.
EmbedLayout PlanWithDigests(const PeStub& stub, const ProductPlan& plan, const std::vector<IconImage>& icon,
                            const PayloadDigests& digests, std::uint64_t payloadSize, const fs::path& stubPath) {
    try {
        ResourceTree resources = OutputResources(stub, plan, icon);
        ResourceLeaf leaf;  // language neutral, like the payload
        leaf.data = SerializePayloadDigests(digests);
        SetResource(resources, kRtRcdata, kPayloadDigestsResourceId, std::move(leaf));
        return PlanEmbedding(stub, std::move(resources), payloadSize);
    } catch (const std::runtime_error& e) {
        Fail("the payload of " + Mib(payloadSize) + " cannot be added to the stub " + QuotedPath(stubPath) + ": " +
             e.what());
    }
}

// Writes the output through a temporary file next to it, renamed over the
// output only once complete (temp is then released).
void WriteOutput(const BuildOptions& options, const EmbedLayout& layout, TempFile& temp,
                 const std::function<void(ByteSink&)>& writePayload) {
    {
        std::ofstream out(temp.path(), std::ios::binary | std::ios::trunc);
        if (!out) Fail("cannot create " + QuotedPath(temp.path()) + " next to the output");
        FileSink sink(out, temp.path());
        const std::uint32_t checksum = WriteEmbeddedImage(layout, sink, writePayload);
        const std::uint8_t field[4] = {static_cast<std::uint8_t>(checksum), static_cast<std::uint8_t>(checksum >> 8),
                                       static_cast<std::uint8_t>(checksum >> 16),
                                       static_cast<std::uint8_t>(checksum >> 24)};
        out.seekp(static_cast<std::streamoff>(layout.checksumOffset));
        sink.Write(field);
        out.close();
        if (!out) Fail("cannot write " + QuotedPath(temp.path()) + " (disk full?)");
    }
    std::error_code ec;
    fs::rename(temp.path(), options.output, ec);
    if (ec) Fail("cannot replace " + QuotedPath(options.output) + ": " + ec.message());
    temp.Release();
}

void FailTooLarge(std::uint64_t payloadSize, const EmbedLayout& layout) {
    Fail("the payload is too large: " + Mib(payloadSize) + " would make setup.exe an image of " +
         Mib(layout.imageSize) + ", over the limit of " + Mib(kMaxImageSize) +
         " (Windows cannot load images of 2 GB or more, and loads are reported to fail from about 1.8 GB)");
}

// A stored payload in archive version 1, byte for byte as before compression
// existed.
std::uint64_t BuildStored(const BuildOptions& options, const ProductPlan& plan, const PeStub& stub,
                          const std::vector<IconImage>& icon, BuildResult& result) {
    std::vector<ArchiveItem> archiveItems;
    for (const ProductItem& item : plan.items) archiveItems.push_back({item.name, item.size});
    const std::vector<std::uint8_t> directory = BuildArchiveDirectory(archiveItems);
    const std::uint64_t payloadSize = ArchiveTotalSize(archiveItems);
    // The digests are planned first as zeros of their final size, so that a
    // payload too large is refused before every file is read for them.
    PayloadDigests digests;
    digests.blocks.resize(plan.items.size());
    EmbedLayout layout = PlanWithDigests(stub, plan, icon, digests, payloadSize, options.stub);
    if (layout.imageSize > kMaxImageSize) FailTooLarge(payloadSize, layout);
    std::vector<std::uint8_t> buffer(kChunkSize);
    digests = DigestPayload(plan, directory, buffer);
    layout = PlanWithDigests(stub, plan, icon, digests, payloadSize, options.stub);

    TempFile temp(TempPathFor(options.output));
    std::uint64_t done = 0;
    auto advance = [&](std::uint64_t n) {
        done += n;
        if (options.progress) options.progress(done, payloadSize);
    };
    WriteOutput(options, layout, temp, [&](ByteSink& payload) {
        payload.Write(directory);
        advance(directory.size());
        for (std::size_t i = 0; i < plan.items.size(); ++i) {
            StreamFile(plan.items[i], digests.blocks[i], buffer, payload, advance);
        }
    });
    result.payloadSize = payloadSize;
    return layout.fileSize;
}

// A compressed payload in archive version 2: the entries are compressed first
// (into spool files beside the output), then the output is laid out and
// written.
std::uint64_t BuildCompressed(const BuildOptions& options, const ProductPlan& plan, PayloadCompression method,
                              const PeStub& stub, const std::vector<IconImage>& icon, BuildResult& result) {
    CompressionSettings settings;
    settings.method = method;
    const unsigned blockMiB = options.blockMiB            ? options.blockMiB
                              : plan.compression.blockMiB ? plan.compression.blockMiB
                                                          : kDefaultBlockMiB;
    settings.blockSize = static_cast<std::uint64_t>(blockMiB) << 20;
    const std::string licence = WideToUtf8(plan.config.LicenseFile);
    settings.isStartup = [licence](const std::string& name) {
        return !IsProductFileEntry(name) || SamePayloadName(name, licence);
    };
    TempFile temp(TempPathFor(options.output));
    const CompressedPayload payload(plan.items, settings, temp.path(), options.threads, options.progress);
    const EmbedLayout layout = PlanWithDigests(stub, plan, icon, payload.digests(), payload.size(), options.stub);
    if (layout.imageSize > kMaxImageSize) FailTooLarge(payload.size(), layout);
    WriteOutput(options, layout, temp, [&](ByteSink& sink) { payload.Write(sink, nullptr); });
    result.payloadSize = payload.size();
    return layout.fileSize;
}

}  // namespace

BuildResult BuildInstaller(const BuildOptions& options) {
    // Everything is checked before the first byte is written.
    CheckOutputFolder(options.output);
    ProductPlan plan = ReadProductFolder(options.productFolder);
    if (options.strict && !plan.warnings.empty()) throw WarningsRefused(plan.warnings);
    CheckOutputIsNoInput(options.output, options.productFolder, options.stub, plan);
    const std::vector<IconImage> icon = LoadIcon(options.icon);
    if (fs::is_directory(options.stub)) {
        Fail("the stub " + QuotedPath(options.stub) + " is a folder; pass the InstallerCore.exe file with --stub");
    }
    const PeStub stub = LoadStub(options.stub);

    CompressionChoice compression = plan.compression;
    if (options.compression) compression = {*options.compression, true};

    BuildResult result;
    for (const ProductItem& item : plan.items) result.originalSize += item.size;
    result.compression = compression.method;
    if (compression.method == PayloadCompression::None) {
        result.fileSize = BuildStored(options, plan, stub, icon, result);
        if (!compression.given && result.payloadSize > kStoredNoteSize) {
            result.notes.push_back("the payload of " + Mib(result.payloadSize) +
                                   " is stored as it is; Compression=deflate in [Setup] of setup.ini (or "
                                   "--compression=deflate) would make setup.exe smaller");
        }
    } else {
        result.fileSize = BuildCompressed(options, plan, compression.method, stub, icon, result);
    }
    result.entries = plan.items.size();
    result.warnings = std::move(plan.warnings);
    return result;
}

}  // namespace zel
