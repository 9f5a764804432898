#include "install/system_folder/pe_image.h"

#include <array>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "util/byte_reader.h"
#include "util/pe_format.h"

namespace zel {
namespace {

using namespace pe;

constexpr std::int32_t kMinNtHeaderOffset = 64;  // right after the DOS header
constexpr std::int32_t kMaxNtHeaderOffset = 0x100000;
constexpr std::uint16_t kMaxSections = 96;
constexpr std::uint16_t kMaxOptionalHeaderSize = 1024;
constexpr std::string_view kRegisterExport = "DllRegisterServer";

// Reads exactly out.size() bytes at offset.
bool ReadExact(ImageSource& image, std::uint64_t offset, std::span<std::uint8_t> out) {
    return image.ReadAt(offset, out) == out.size();
}

struct FileHeader {
    std::uint64_t offset = 0;  // where the file header starts
    std::uint16_t machine = 0;
    std::uint16_t numberOfSections = 0;
    std::uint16_t sizeOfOptionalHeader = 0;
};

// DOS header, e_lfanew range, signature and the 20-byte file header.
bool ReadFileHeader(ImageSource& image, FileHeader& header) {
    std::array<std::uint8_t, kDosHeaderSize> dos{};
    if (!ReadExact(image, 0, dos)) return false;
    ByteReader dosReader(dos);
    std::uint16_t magic = 0;
    std::uint32_t lfanewBits = 0;
    if (!dosReader.readU16(magic) || magic != kDosMagic) return false;
    if (!dosReader.seek(kDosNtHeaderOffsetField) || !dosReader.readU32(lfanewBits)) return false;
    const auto lfanew = static_cast<std::int32_t>(lfanewBits);
    if (lfanew < kMinNtHeaderOffset || lfanew > kMaxNtHeaderOffset) return false;

    std::array<std::uint8_t, kNtSignatureSize + kFileHeaderSize> nt{};
    if (!ReadExact(image, static_cast<std::uint64_t>(lfanew), nt)) return false;
    ByteReader ntReader(nt);
    std::uint32_t signature = 0;
    if (!ntReader.readU32(signature) || signature != kNtSignature) return false;
    header.offset = static_cast<std::uint64_t>(lfanew) + kNtSignatureSize;
    if (!ntReader.readU16(header.machine) || !ntReader.readU16(header.numberOfSections)) return false;
    return ntReader.seek(kNtSignatureSize + kFileSizeOfOptionalHeader) && ntReader.readU16(header.sizeOfOptionalHeader);
}

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t sizeOfRawData = 0;
    std::uint32_t pointerToRawData = 0;
};

// File offset of an RVA through the first section holding it; nothing for an
// address no section holds or one that lands on offset 0. The range end and the
// offset are computed in 32 bits, as the loader's fields are.
std::optional<std::uint32_t> MapRva(const std::vector<Section>& sections, std::uint32_t rva) {
    for (const Section& s : sections) {
        if (s.sizeOfRawData == 0) continue;
        const std::uint32_t end = s.virtualAddress + s.sizeOfRawData;
        if (rva >= s.virtualAddress && rva < end) {
            const std::uint32_t offset = s.pointerToRawData + (rva - s.virtualAddress);
            if (offset == 0) return std::nullopt;
            return offset;
        }
    }
    return std::nullopt;
}

}  // namespace

std::size_t BufferImageSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t count = std::min<std::uint64_t>(out.size(), bytes_.size() - offset);
    if (count > 0) std::memcpy(out.data(), bytes_.data() + offset, count);
    return count;
}

std::size_t StreamImageSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
    if (!in_) {
        in_.clear();
        return 0;
    }
    in_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    const auto got = static_cast<std::size_t>(in_.gcount());
    in_.clear();
    return got;
}

bool ReadPeMachine(ImageSource& image, std::uint16_t& machine) {
    FileHeader header;
    if (!ReadFileHeader(image, header)) return false;
    machine = header.machine;
    return true;
}

bool ReadPeMachine(const std::filesystem::path& file, std::uint16_t& machine) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    StreamImageSource image(in);
    return ReadPeMachine(image, machine);
}

bool HasDllRegisterServerExport(ImageSource& image) {
    FileHeader header;
    if (!ReadFileHeader(image, header)) return false;
    const std::uint16_t optionalSize = header.sizeOfOptionalHeader;
    if (optionalSize < 2 || optionalSize > kMaxOptionalHeaderSize) return false;

    std::vector<std::uint8_t> optional(optionalSize);
    const std::uint64_t optionalOffset = header.offset + kFileHeaderSize;
    if (!ReadExact(image, optionalOffset, optional)) return false;
    ByteReader optionalReader(optional);
    std::uint16_t magic = 0;
    if (!optionalReader.readU16(magic)) return false;
    std::size_t exportEntry = 0;
    if (magic == kMagicPe32Plus) {
        if (optionalSize < kOpt64SizeWithDirectories) return false;
        exportEntry = kOpt64DataDirectories + kDataDirectorySize * kDirExport;
    } else if (magic == kMagicPe32) {
        if (optionalSize < kOpt32SizeWithDirectories) return false;
        exportEntry = kOpt32DataDirectories + kDataDirectorySize * kDirExport;
    } else {
        return false;
    }
    std::uint32_t exportRva = 0;
    std::uint32_t exportSize = 0;
    if (!optionalReader.seek(exportEntry) || !optionalReader.readU32(exportRva) ||
        !optionalReader.readU32(exportSize)) {
        return false;
    }
    if (exportRva == 0 || exportSize < kExportDirectorySize) return false;

    if (header.numberOfSections < 1 || header.numberOfSections > kMaxSections) return false;
    std::vector<std::uint8_t> table(std::size_t{header.numberOfSections} * kSectionHeaderSize);
    if (!ReadExact(image, optionalOffset + optionalSize, table)) return false;
    std::vector<Section> sections(header.numberOfSections);
    ByteReader tableReader(table);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        Section& s = sections[i];
        const std::size_t at = i * kSectionHeaderSize;
        if (!tableReader.seek(at + kSectionVirtualAddress) || !tableReader.readU32(s.virtualAddress) ||
            !tableReader.readU32(s.sizeOfRawData) || !tableReader.readU32(s.pointerToRawData)) {
            return false;
        }
    }

    const auto directoryOffset = MapRva(sections, exportRva);
    if (!directoryOffset) return false;
    std::array<std::uint8_t, kExportDirectorySize> directory{};
    if (!ReadExact(image, *directoryOffset, directory)) return false;
    ByteReader directoryReader(directory);
    std::uint32_t numberOfNames = 0;
    std::uint32_t addressOfNames = 0;
    if (!directoryReader.seek(24) || !directoryReader.readU32(numberOfNames) || !directoryReader.seek(32) ||
        !directoryReader.readU32(addressOfNames)) {
        return false;
    }
    if (numberOfNames == 0 || addressOfNames == 0) return false;
    const auto namesOffset = MapRva(sections, addressOfNames);
    if (!namesOffset) return false;

    for (std::uint32_t index = 0; index < numberOfNames; ++index) {
        std::array<std::uint8_t, 4> entry{};
        // The table runs forward through the file: once an entry lies past the
        // end, so do all later ones, and none of them can name the export.
        if (!ReadExact(image, std::uint64_t{*namesOffset} + 4ull * index, entry)) break;
        ByteReader entryReader(entry);
        std::uint32_t nameRva = 0;
        entryReader.readU32(nameRva);
        if (nameRva == 0) continue;
        const auto nameOffset = MapRva(sections, nameRva);
        if (!nameOffset) continue;
        // One byte more than the name is enough to tell it apart: the name ends
        // at the first NUL or at the end of the file.
        std::array<std::uint8_t, kRegisterExport.size() + 1> name{};
        const std::size_t got = image.ReadAt(*nameOffset, name);
        if (got < kRegisterExport.size()) continue;
        if (std::memcmp(name.data(), kRegisterExport.data(), kRegisterExport.size()) != 0) continue;
        if (got == kRegisterExport.size() || name[kRegisterExport.size()] == 0) return true;
    }
    return false;
}

bool HasDllRegisterServerExport(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    StreamImageSource image(in);
    return HasDllRegisterServerExport(image);
}

SystemFolderKind SystemFolderForImage(bool readable, std::uint16_t machine) {
    if (!readable) return SystemFolderKind::ThirtyTwoBit;
    switch (machine) {
        case kPeMachineI386:
            return SystemFolderKind::ThirtyTwoBit;
        case kPeMachineAmd64:
        case kPeMachineArm64:
            return SystemFolderKind::Native;
        default:
            return SystemFolderKind::Unsupported;
    }
}

}  // namespace zel
