// Reading a PE32+ executable's resource tree and writing the executable again
// with an edited resource tree (resources replaced, removed or added) and one
// more resource whose bytes are streamed from elsewhere (the payload).
// Portable: no Win32 resource-update API, so it runs on Linux as well.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "util/pe_format.h"

namespace zel {

inline constexpr std::uint32_t kRtIcon = 3;
inline constexpr std::uint32_t kRtRcdata = 10;
inline constexpr std::uint32_t kRtGroupIcon = 14;
inline constexpr std::uint32_t kRtVersion = 16;
inline constexpr std::uint32_t kPayloadResourceId = 101;

// The largest SizeOfImage written. Windows refuses images of 2 GB and more, and
// loading is reported to fail from about 1.8 GB; 1.5 GiB keeps a wide margin.
inline constexpr std::uint64_t kMaxImageSize = 1536ull << 20;

// An entry of a resource directory is identified by a name or by a number.
struct ResourceKey {
    std::u16string name;  // empty: the entry is identified by id
    std::uint32_t id = 0;

    bool IsName() const { return !name.empty(); }
    friend bool operator==(const ResourceKey&, const ResourceKey&) = default;
};

// The header fields of a directory table that carry no structure; kept as read.
struct ResourceDirectoryInfo {
    std::uint32_t characteristics = 0;
    std::uint32_t timeDateStamp = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
};

struct ResourceLeaf {
    ResourceKey language;
    std::uint32_t codePage = 0;
    std::vector<std::uint8_t> data;
};

struct ResourceName {
    ResourceKey key;
    ResourceDirectoryInfo info;
    std::vector<ResourceLeaf> languages;
};

struct ResourceType {
    ResourceKey key;
    ResourceDirectoryInfo info;
    std::vector<ResourceName> names;
};

// The usual three levels: type, name, language. Entries keep the order they had
// in the file; named entries come before numbered ones within each directory.
struct ResourceTree {
    ResourceDirectoryInfo info;
    std::vector<ResourceType> types;
};

struct PeSection {
    char name[8] = {};
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t sizeOfRawData = 0;
    std::uint32_t pointerToRawData = 0;
    std::uint32_t characteristics = 0;
};

// A parsed PE32+ image that InstallerBuilder can extend. The constructor throws
// std::runtime_error naming what it cannot handle: not PE32+, a certificate
// table (signed file), a COFF symbol table, data after the last section, a
// malformed header or resource tree. An image read only to be looked at
// (kInspect: a built, possibly signed setup.exe) may have a certificate table
// and bytes after its last section.
class PeStub {
public:
    enum Use { kExtend, kInspect };
    explicit PeStub(std::vector<std::uint8_t> bytes, Use use = kExtend);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    const ResourceTree& resources() const { return resources_; }
    const std::vector<PeSection>& sections() const { return sections_; }

    std::uint32_t peOffset() const { return peOffset_; }
    std::uint32_t optionalHeaderOffset() const {
        return peOffset_ + static_cast<std::uint32_t>(pe::kNtSignatureSize + pe::kFileHeaderSize);
    }
    std::uint32_t sectionTableOffset() const { return sectionTableOffset_; }
    std::uint32_t sectionAlignment() const { return sectionAlignment_; }
    std::uint32_t fileAlignment() const { return fileAlignment_; }
    std::uint32_t sizeOfHeaders() const { return sizeOfHeaders_; }
    std::uint32_t sizeOfImage() const { return sizeOfImage_; }
    std::uint32_t numberOfRvaAndSizes() const { return numberOfRvaAndSizes_; }
    // Index into sections() of the section holding the resource directory, or -1.
    int resourceSection() const { return resourceSection_; }
    // End of the last section's raw data in the file.
    std::uint64_t rawEnd() const { return rawEnd_; }

    // The data directory entry at index (RVA, size); zeros beyond the table.
    std::pair<std::uint32_t, std::uint32_t> DataDirectory(std::uint32_t index) const;

private:
    void ParseHeaders(Use use);
    void ParseResources();
    // The file offset of [rva, rva + size) when it lies inside one section's raw data.
    bool RvaToOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t& offset) const;

    std::vector<std::uint8_t> bytes_;
    ResourceTree resources_;
    std::vector<PeSection> sections_;
    std::uint32_t peOffset_ = 0;
    std::uint32_t sectionTableOffset_ = 0;
    std::uint32_t sectionAlignment_ = 0;
    std::uint32_t fileAlignment_ = 0;
    std::uint32_t sizeOfHeaders_ = 0;
    std::uint32_t sizeOfImage_ = 0;
    std::uint32_t numberOfRvaAndSizes_ = 0;
    int resourceSection_ = -1;
    std::uint64_t rawEnd_ = 0;
};

// Editing a resource tree before it is written (PlanEmbedding below).
// Adds the leaf, or replaces every language of an existing type/id pair by it.
// New type and name directories go among the numbered entries in ascending order.
void SetResource(ResourceTree& tree, std::uint32_t type, std::uint32_t id, ResourceLeaf leaf);
// Removes the type/id pair with all its languages (and its type when that becomes
// empty); false when there was none.
bool RemoveResource(ResourceTree& tree, std::uint32_t type, std::uint32_t id);
// The type/id pair, or null.
const ResourceName* FindResource(const ResourceTree& tree, std::uint32_t type, std::uint32_t id);

// Everything needed to write the stub with the payload as RT_RCDATA 101,
// computed before a byte is written. The output is, in order: head,
// sectionHead, the payload's bytes, padding zero bytes.
struct EmbedLayout {
    std::vector<std::uint8_t> head;         // headers and sections before the resource section, patched
    std::vector<std::uint8_t> sectionHead;  // resource directory and the other resources' data
    std::uint64_t payloadSize = 0;
    std::uint64_t padding = 0;  // up to the file alignment
    std::uint64_t fileSize = 0;
    std::uint64_t imageSize = 0;       // the new SizeOfImage
    std::uint64_t checksumOffset = 0;  // where the checksum goes once the file is written
    bool appendedSection = false;      // true when a new section was added
};

// Rebuilds the resource section with the given resources (usually the stub's,
// edited) and a payload resource of payloadSize bytes placed last, as RT_RCDATA
// 101. The section is rewritten in place when it is the last one; otherwise a new
// section is appended and the resource data directory points to it. Throws
// std::runtime_error when the result cannot be represented (no room for a
// section header, sizes beyond 32 bits).
EmbedLayout PlanEmbedding(const PeStub& stub, ResourceTree resources, std::uint64_t payloadSize);
// The same with the stub's own resources unchanged.
EmbedLayout PlanEmbedding(const PeStub& stub, std::uint64_t payloadSize);

// The PE image checksum (as CheckSumMappedFile computes it) over bytes fed in
// any number of pieces, the checksum field itself given as zeros.
class PeChecksum {
public:
    void Update(std::span<const std::uint8_t> bytes);
    std::uint32_t Finish() const;

private:
    void AddWord(std::uint32_t word) { sum_ += word; }

    std::uint64_t sum_ = 0;
    std::uint64_t length_ = 0;
    std::uint8_t pending_[4] = {};
    std::size_t pendingCount_ = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
};

// Writes the layout to out; writePayload must write exactly layout.payloadSize
// bytes to the sink it is given. Returns the checksum, which the caller stores
// as 4 little-endian bytes at layout.checksumOffset (written as zero here).
std::uint32_t WriteEmbeddedImage(const EmbedLayout& layout, ByteSink& out,
                                 const std::function<void(ByteSink&)>& writePayload);

// The whole output in memory, checksum stored; for small payloads and tests.
std::vector<std::uint8_t> EmbedPayload(const PeStub& stub, std::span<const std::uint8_t> payload);
std::vector<std::uint8_t> EmbedPayload(const PeStub& stub, ResourceTree resources,
                                       std::span<const std::uint8_t> payload);

}  // namespace zel
