#include "builder/pe/pe_stub.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "builder/pe/pe_bytes.h"
#include "builder/pe/resource_reader.h"

namespace zel {
namespace {

using namespace pe;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::string SectionName(const PeSection& section) {
    return std::string(section.name, strnlen(section.name, sizeof(section.name)));
}

}  // namespace

PeStub::PeStub(std::vector<std::uint8_t> bytes, Use use) : bytes_(std::move(bytes)) {
    ParseHeaders(use);
    ParseResources();
}

std::pair<std::uint32_t, std::uint32_t> PeStub::DataDirectory(std::uint32_t index) const {
    if (index >= numberOfRvaAndSizes_) return {0, 0};
    const std::uint64_t at = optionalHeaderOffset() + kOpt64DataDirectories + kDataDirectorySize * index;
    return {U32(bytes_, at, "data directory"), U32(bytes_, at + 4, "data directory")};
}

void PeStub::ParseHeaders(Use use) {
    const std::span<const std::uint8_t> b = bytes_;
    if (b.size() < kDosHeaderSize || U16(b, 0, "DOS header") != kDosMagic) {
        Fail("not a Windows executable (no MZ header)");
    }
    peOffset_ = U32(b, kDosNtHeaderOffsetField, "DOS header");
    if (U32(b, peOffset_, "PE header") != kNtSignature) Fail("not a PE executable (no PE signature)");
    const std::uint64_t file = std::uint64_t{peOffset_} + kNtSignatureSize;
    const std::uint16_t sectionCount = U16(b, file + kFileNumberOfSections, "COFF header");
    const std::uint32_t symbolTable = U32(b, file + kFilePointerToSymbolTable, "COFF header");
    const std::uint32_t symbolCount = U32(b, file + kFileNumberOfSymbols, "COFF header");
    const std::uint16_t optionalSize = U16(b, file + kFileSizeOfOptionalHeader, "COFF header");
    const std::uint64_t opt = optionalHeaderOffset();
    if (U16(b, opt, "optional header") != kMagicPe32Plus) Fail("not a 64-bit (PE32+) executable");
    if (optionalSize < kOpt64DataDirectories) Fail("optional header too small");
    sectionAlignment_ = U32(b, opt + kOptSectionAlignment, "optional header");
    fileAlignment_ = U32(b, opt + kOptFileAlignment, "optional header");
    sizeOfImage_ = U32(b, opt + kOptSizeOfImage, "optional header");
    sizeOfHeaders_ = U32(b, opt + kOptSizeOfHeaders, "optional header");
    numberOfRvaAndSizes_ = std::min<std::uint32_t>(
        U32(b, opt + kOpt64NumberOfRvaAndSizes, "optional header"),
        static_cast<std::uint32_t>((optionalSize - kOpt64DataDirectories) / kDataDirectorySize));
    if (!IsPowerOfTwo(fileAlignment_) || fileAlignment_ > 0x10000 || !IsPowerOfTwo(sectionAlignment_) ||
        sectionAlignment_ < fileAlignment_) {
        Fail("invalid section or file alignment");
    }
    if (use == kExtend && (symbolTable != 0 || symbolCount != 0)) {
        Fail("it has a COFF symbol table (link it stripped, with -s)");
    }
    const auto security = DataDirectory(kDirSecurity);
    if (use == kExtend && (security.first != 0 || security.second != 0)) {
        Fail("it is signed (has a certificate table); embed the payload into the unsigned program and sign the result");
    }
    if (numberOfRvaAndSizes_ <= kDirResource) Fail("it has no resource data directory entry");

    sectionTableOffset_ = static_cast<std::uint32_t>(opt + optionalSize);
    if (sectionCount == 0) Fail("it has no sections");
    if (static_cast<std::uint64_t>(sectionTableOffset_) + kSectionHeaderSize * sectionCount > sizeOfHeaders_ ||
        sizeOfHeaders_ > b.size()) {
        Fail("section table lies outside the headers");
    }
    rawEnd_ = sizeOfHeaders_;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = sectionTableOffset_ + static_cast<std::uint64_t>(kSectionHeaderSize) * i;
        PeSection s;
        std::memcpy(s.name, b.data() + at, sizeof(s.name));
        s.virtualSize = U32(b, at + kSectionVirtualSize, "section header");
        s.virtualAddress = U32(b, at + kSectionVirtualAddress, "section header");
        s.sizeOfRawData = U32(b, at + kSectionSizeOfRawData, "section header");
        s.pointerToRawData = U32(b, at + kSectionPointerToRawData, "section header");
        s.characteristics = U32(b, at + kSectionCharacteristics, "section header");
        if (s.sizeOfRawData != 0) {
            const std::uint64_t end = static_cast<std::uint64_t>(s.pointerToRawData) + s.sizeOfRawData;
            if (end > b.size()) Fail("section " + SectionName(s) + " lies beyond the end of the file");
            rawEnd_ = std::max(rawEnd_, end);
        }
        sections_.push_back(s);
    }
    if (use == kExtend && b.size() > rawEnd_) {
        Fail("it has " + std::to_string(b.size() - rawEnd_) +
             " bytes after its last section (appended data or a signature); use the program as linked");
    }
}

bool PeStub::RvaToOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t& offset) const {
    for (const PeSection& s : sections_) {
        // Bytes beyond the virtual size are in the file but not mapped.
        const std::uint32_t extent = s.virtualSize != 0 ? std::min(s.virtualSize, s.sizeOfRawData) : s.sizeOfRawData;
        if (rva < s.virtualAddress) continue;
        const std::uint64_t delta = rva - s.virtualAddress;
        if (delta > extent || size > extent - delta) continue;
        offset = s.pointerToRawData + delta;
        return true;
    }
    return false;
}

void PeStub::ParseResources() {
    const auto [rva, size] = DataDirectory(kDirResource);
    if (rva == 0) return;
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const PeSection& s = sections_[i];
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.sizeOfRawData) resourceSection_ = static_cast<int>(i);
    }
    if (resourceSection_ < 0) Fail("resource directory lies outside every section");
    const PeSection& s = sections_[static_cast<std::size_t>(resourceSection_)];
    const std::uint64_t start = s.pointerToRawData + static_cast<std::uint64_t>(rva - s.virtualAddress);
    const std::uint64_t end = static_cast<std::uint64_t>(s.pointerToRawData) + s.sizeOfRawData;
    const std::span<const std::uint8_t> rsrc(bytes_.data() + start, static_cast<std::size_t>(end - start));
    resources_ = ReadResourceTree(rsrc, [this](std::uint32_t dataRva, std::uint32_t dataSize) {
        std::uint64_t offset = 0;
        if (!RvaToOffset(dataRva, dataSize, offset)) Fail("resource data lies outside the sections");
        return std::span<const std::uint8_t>(bytes_.data() + offset, dataSize);
    });
}

}  // namespace zel
