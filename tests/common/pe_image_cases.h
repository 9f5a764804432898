// Small hand-made PE images and one table of image cases, run by the native
// tests (over buffers and files) and by the Windows tests (over files, with the
// folder choice of the installer), so both sides read images the same way.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/little_endian.h"

namespace zel::test {

// What a crafted image holds. The layout: DOS header, "PE\0\0" at 64, file
// header, optional header, one section ".edata" at RVA 0x1000 / file 0x200 that
// holds the export directory, the name pointer table and the names.
struct CraftedImage {
    std::uint16_t machine = 0x8664;
    bool pe32Plus = true;
    std::vector<std::string> exportNames;  // none: no export directory at all
    std::uint32_t nameCountOverride = 0;   // non-zero: NumberOfNames claims this many
    bool zeroFirstNameRva = false;         // first name pointer is 0
    bool unmappedExportRva = false;        // export directory RVA lies outside every section
    std::uint16_t optionalHeaderSizeOverride = 0;
    std::int32_t lfanewOverride = 0;
};

inline constexpr std::uint32_t kCraftedSectionRva = 0x1000;
inline constexpr std::uint32_t kCraftedSectionOffset = 0x200;

inline std::vector<std::uint8_t> BuildImage(const CraftedImage& image) {
    const std::uint16_t optionalSize = image.pe32Plus ? 240 : 224;
    const std::size_t ntOffset = 64;
    const std::size_t optionalOffset = ntOffset + 4 + 20;
    const std::size_t sectionTable = optionalOffset + optionalSize;

    // Section data: export directory, name pointer table, names.
    std::vector<std::uint8_t> data(40 + 4 * image.exportNames.size());
    std::vector<std::uint32_t> nameRvas;
    for (const std::string& name : image.exportNames) {
        nameRvas.push_back(kCraftedSectionRva + static_cast<std::uint32_t>(data.size()));
        data.insert(data.end(), name.begin(), name.end());
        data.push_back(0);
    }
    if (!image.exportNames.empty()) {
        const auto count = static_cast<std::uint32_t>(image.exportNames.size());
        PutU32(data, 20, count);                                                      // NumberOfFunctions
        PutU32(data, 24, image.nameCountOverride ? image.nameCountOverride : count);  // NumberOfNames
        PutU32(data, 32, kCraftedSectionRva + 40);                                    // AddressOfNames
        for (std::size_t i = 0; i < nameRvas.size(); ++i) {
            PutU32(data, 40 + 4 * i, (i == 0 && image.zeroFirstNameRva) ? 0 : nameRvas[i]);
        }
    }

    std::vector<std::uint8_t> bytes(kCraftedSectionOffset + data.size(), 0);
    std::memcpy(bytes.data() + kCraftedSectionOffset, data.data(), data.size());
    PutU16(bytes, 0, 0x5A4D);
    PutU32(bytes, 60, static_cast<std::uint32_t>(image.lfanewOverride ? image.lfanewOverride : ntOffset));
    PutU32(bytes, ntOffset, 0x00004550);
    PutU16(bytes, ntOffset + 4, image.machine);
    PutU16(bytes, ntOffset + 6, 1);  // NumberOfSections
    PutU16(bytes, ntOffset + 20, image.optionalHeaderSizeOverride ? image.optionalHeaderSizeOverride : optionalSize);
    PutU16(bytes, ntOffset + 22, 0x2102);  // executable, 32-bit words / DLL
    PutU16(bytes, optionalOffset, image.pe32Plus ? 0x20B : 0x10B);
    if (!image.exportNames.empty()) {
        const std::size_t entry = optionalOffset + (image.pe32Plus ? 112 : 96);
        PutU32(bytes, entry, image.unmappedExportRva ? 0x9000 : kCraftedSectionRva);
        PutU32(bytes, entry + 4, static_cast<std::uint32_t>(data.size()));
    }
    std::memcpy(bytes.data() + sectionTable, ".edata\0\0", 8);
    PutU32(bytes, sectionTable + 8, static_cast<std::uint32_t>(data.size()));  // VirtualSize
    PutU32(bytes, sectionTable + 12, kCraftedSectionRva);
    PutU32(bytes, sectionTable + 16, static_cast<std::uint32_t>(data.size()));  // SizeOfRawData
    PutU32(bytes, sectionTable + 20, kCraftedSectionOffset);
    return bytes;
}

inline std::vector<std::uint8_t> Truncated(std::vector<std::uint8_t> bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

// File offset just past the first export name of a crafted image (its NUL excluded).
inline std::size_t EndOfFirstName(const CraftedImage& image) {
    return kCraftedSectionOffset + 40 + 4 * image.exportNames.size() + image.exportNames.front().size();
}

enum class Folder { Native, ThirtyTwoBit, Unsupported };

struct PeImageCase {
    const char* name;
    const char* realLibrary;            // a test library built from source, or nullptr
    std::vector<std::uint8_t> crafted;  // the image bytes when realLibrary is nullptr
    bool machineRead;
    std::uint16_t machine;
    bool exportFound;
    Folder folder;
};

inline std::vector<PeImageCase> PeImageCases() {
    const std::vector<std::string> registerLast = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer"};
    CraftedImage x64;
    x64.exportNames = registerLast;
    CraftedImage x86 = x64;
    x86.machine = 0x014C;
    x86.pe32Plus = false;
    CraftedImage arm64 = x64;
    arm64.machine = 0xAA64;
    CraftedImage thumb = x64;
    thumb.machine = 0x01C4;
    CraftedImage wrongCase;
    wrongCase.exportNames = {"DllregisterServer", "dllregisterserver", "DllRegisterServerEx", "DllRegisterServe"};
    CraftedImage noExports;
    CraftedImage zeroFirst = x64;
    zeroFirst.exportNames = {"DllRegisterServer", "DllRegisterServer"};
    zeroFirst.zeroFirstNameRva = true;
    CraftedImage zeroOnly = x64;
    zeroOnly.exportNames = {"DllRegisterServer"};
    zeroOnly.zeroFirstNameRva = true;
    CraftedImage unmapped = x64;
    unmapped.unmappedExportRva = true;
    CraftedImage shortOptional = x64;
    shortOptional.optionalHeaderSizeOverride = 239;  // PE32+ needs 240 bytes
    CraftedImage hugeCountFound = x64;
    hugeCountFound.nameCountOverride = 0xFFFFFFFF;
    CraftedImage hugeCountMissing;
    hugeCountMissing.exportNames = {"DllGetClassObject"};
    hugeCountMissing.nameCountOverride = 0xFFFFFFFF;
    CraftedImage lfanewLow = x64;
    lfanewLow.lfanewOverride = 63;
    CraftedImage lfanewHigh = x64;
    lfanewHigh.lfanewOverride = 0x100001;
    CraftedImage registerOnly;
    registerOnly.exportNames = {"DllRegisterServer"};

    std::vector<std::uint8_t> badMagic = BuildImage(x64);
    badMagic[0] = 'X';
    std::vector<std::uint8_t> badSignature = BuildImage(x64);
    badSignature[66] = 'X';
    const std::string text = "[Setup]\r\nAppName=not an image\r\n";

    using F = Folder;
    std::vector<PeImageCase> cases = {
        {"x64 library with the exports", "zel_com64.dll", {}, true, 0x8664, true, F::Native},
        {"x64 library without the export", "zel_noexport64.dll", {}, true, 0x8664, false, F::Native},
        {"i686 library with the exports", "zel_com32.dll", {}, true, 0x014C, true, F::ThirtyTwoBit},
        {"i686 library whose registration fails", "zel_comfail32.dll", {}, true, 0x014C, true, F::ThirtyTwoBit},
        {"PE32+ export table, name last", nullptr, BuildImage(x64), true, 0x8664, true, F::Native},
        {"PE32 export table, name last", nullptr, BuildImage(x86), true, 0x014C, true, F::ThirtyTwoBit},
        {"ARM64 header", nullptr, BuildImage(arm64), true, 0xAA64, true, F::Native},
        {"machine 0x01C4", nullptr, BuildImage(thumb), true, 0x01C4, true, F::Unsupported},
        {"names differing in case or length only", nullptr, BuildImage(wrongCase), true, 0x8664, false, F::Native},
        {"no export directory", nullptr, BuildImage(noExports), true, 0x8664, false, F::Native},
        {"zero name pointer skipped", nullptr, BuildImage(zeroFirst), true, 0x8664, true, F::Native},
        {"only a zero name pointer", nullptr, BuildImage(zeroOnly), true, 0x8664, false, F::Native},
        {"export directory unmapped", nullptr, BuildImage(unmapped), true, 0x8664, false, F::Native},
        {"optional header too short", nullptr, BuildImage(shortOptional), true, 0x8664, false, F::Native},
        {"name count past the end, name present", nullptr, BuildImage(hugeCountFound), true, 0x8664, true, F::Native},
        {"name count past the end, name absent", nullptr, BuildImage(hugeCountMissing), true, 0x8664, false, F::Native},
        {"name cut by the end of the file", nullptr, Truncated(BuildImage(registerOnly), EndOfFirstName(registerOnly)),
         true, 0x8664, true, F::Native},
        {"name one byte short", nullptr, Truncated(BuildImage(registerOnly), EndOfFirstName(registerOnly) - 1), true,
         0x8664, false, F::Native},
        {"cut after the file header", nullptr, Truncated(BuildImage(x64), 88), true, 0x8664, false, F::Native},
        {"cut inside the file header", nullptr, Truncated(BuildImage(x64), 87), false, 0, false, F::ThirtyTwoBit},
        {"cut inside the DOS header", nullptr, Truncated(BuildImage(x64), 63), false, 0, false, F::ThirtyTwoBit},
        {"empty file", nullptr, {}, false, 0, false, F::ThirtyTwoBit},
        {"e_lfanew below 64", nullptr, BuildImage(lfanewLow), false, 0, false, F::ThirtyTwoBit},
        {"e_lfanew above 1 MiB", nullptr, BuildImage(lfanewHigh), false, 0, false, F::ThirtyTwoBit},
        {"bad MZ", nullptr, badMagic, false, 0, false, F::ThirtyTwoBit},
        {"bad PE signature", nullptr, badSignature, false, 0, false, F::ThirtyTwoBit},
        {"text file", nullptr, std::vector<std::uint8_t>(text.begin(), text.end()), false, 0, false, F::ThirtyTwoBit},
    };
    return cases;
}

}  // namespace zel::test
