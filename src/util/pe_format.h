// The parts of the PE/COFF image format that both readers use: setup.exe's
// export reader and the builder's stub reader and writer. Offsets are in bytes
// from the start of the structure they name. Portable.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel::pe {

// DOS header.
inline constexpr std::uint16_t kDosMagic = 0x5A4D;  // "MZ"
inline constexpr std::size_t kDosHeaderSize = 64;
inline constexpr std::size_t kDosNtHeaderOffsetField = 0x3C;  // e_lfanew

// NT headers: the signature, then the COFF file header, then the optional header.
inline constexpr std::uint32_t kNtSignature = 0x00004550;  // "PE\0\0"
inline constexpr std::size_t kNtSignatureSize = 4;
inline constexpr std::size_t kFileHeaderSize = 20;
inline constexpr std::size_t kFileMachine = 0;
inline constexpr std::size_t kFileNumberOfSections = 2;
inline constexpr std::size_t kFilePointerToSymbolTable = 8;
inline constexpr std::size_t kFileNumberOfSymbols = 12;
inline constexpr std::size_t kFileSizeOfOptionalHeader = 16;
inline constexpr std::size_t kFileCharacteristics = 18;
// Characteristics: the loader copies the whole image to the page file first
// when the file lies on removable media or on the network.
inline constexpr std::uint16_t kFileRemovableRunFromSwap = 0x0400;
inline constexpr std::uint16_t kFileNetRunFromSwap = 0x0800;

// Optional header.
inline constexpr std::uint16_t kMagicPe32 = 0x10B;
inline constexpr std::uint16_t kMagicPe32Plus = 0x20B;
inline constexpr std::size_t kOptSizeOfInitializedData = 8;
inline constexpr std::size_t kOptSectionAlignment = 32;
inline constexpr std::size_t kOptFileAlignment = 36;
inline constexpr std::size_t kOptSizeOfImage = 56;
inline constexpr std::size_t kOptSizeOfHeaders = 60;
inline constexpr std::size_t kOptCheckSum = 64;
inline constexpr std::size_t kOpt32DataDirectories = 96;       // PE32
inline constexpr std::size_t kOpt64NumberOfRvaAndSizes = 108;  // PE32+
inline constexpr std::size_t kOpt64DataDirectories = 112;      // PE32+
inline constexpr std::size_t kOpt32SizeWithDirectories = 224;  // PE32 with all 16 directories
inline constexpr std::size_t kOpt64SizeWithDirectories = 240;  // PE32+ with all 16 directories
inline constexpr std::size_t kDataDirectorySize = 8;           // RVA, size

// Data directory indexes.
inline constexpr std::uint32_t kDirExport = 0;
inline constexpr std::uint32_t kDirResource = 2;
inline constexpr std::uint32_t kDirSecurity = 4;

// Section header.
inline constexpr std::size_t kSectionHeaderSize = 40;
inline constexpr std::size_t kSectionVirtualSize = 8;
inline constexpr std::size_t kSectionVirtualAddress = 12;
inline constexpr std::size_t kSectionSizeOfRawData = 16;
inline constexpr std::size_t kSectionPointerToRawData = 20;
inline constexpr std::size_t kSectionCharacteristics = 36;
inline constexpr std::uint32_t kScnInitializedData = 0x00000040;
inline constexpr std::uint32_t kScnMemRead = 0x40000000;

// Export directory.
inline constexpr std::size_t kExportDirectorySize = 40;

}  // namespace zel::pe
