// A PE32+ executable read by the builder: its headers, its sections and its
// resource tree, checked for what extending it needs. The stub InstallerBuilder
// embeds the payload into comes from outside, so everything it cannot handle is
// refused with a message naming it; a built setup.exe can be read as well, only
// to look at it (InstallerBuilder --list). Portable.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "builder/pe/resource_tree.h"
#include "util/pe_format.h"

namespace zel {

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

}  // namespace zel
