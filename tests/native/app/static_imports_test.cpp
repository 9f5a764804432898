// setup.exe runs with administrator rights from a downloads folder, where a
// planted DLL named like a statically imported library would be loaded before
// any code of ours runs. Only Known DLLs, which Windows always takes from its own
// folder, may be imported statically; everything else is loaded at run time.
// Reads the import tables of the built InstallerCore.exe (ZEL_STUB_EXE).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "util/ascii.h"
#include "util/byte_reader.h"

namespace zel {
namespace {

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

struct PeImage {
    std::vector<std::uint8_t> bytes;
    std::vector<Section> sections;
    std::uint32_t importRva = 0;
    std::uint32_t delayImportRva = 0;
};

bool OffsetOfRva(const PeImage& image, std::uint32_t rva, std::size_t& offset) {
    for (const Section& s : image.sections) {
        const std::uint32_t size = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva - s.virtualAddress < size) {
            offset = static_cast<std::size_t>(s.rawOffset) + (rva - s.virtualAddress);
            return offset < image.bytes.size();
        }
    }
    return false;
}

bool ReadCString(const PeImage& image, std::uint32_t rva, std::string& out) {
    std::size_t offset = 0;
    if (!OffsetOfRva(image, rva, offset)) return false;
    out.clear();
    for (; offset < image.bytes.size() && image.bytes[offset] != 0; ++offset)
        out.push_back(static_cast<char>(image.bytes[offset]));
    return offset < image.bytes.size();
}

// PE32+ only: the headers, the section table and the two import directories.
bool ParsePe(PeImage& image) {
    ByteReader r(image.bytes);
    std::uint32_t peOffset = 0, signature = 0;
    std::uint16_t machine = 0, sectionCount = 0, optionalSize = 0, magic = 0;
    if (!r.seek(0x3C) || !r.readU32(peOffset) || !r.seek(peOffset) || !r.readU32(signature) || signature != 0x4550) {
        return false;
    }
    if (!r.readU16(machine) || !r.readU16(sectionCount) || !r.seek(peOffset + 20) || !r.readU16(optionalSize)) {
        return false;
    }
    const std::size_t optional = peOffset + 24;
    if (!r.seek(optional) || !r.readU16(magic) || magic != 0x20B) return false;
    // Data directories start at offset 112 of a PE32+ optional header, 8 bytes each.
    if (!r.seek(optional + 112 + 1 * 8) || !r.readU32(image.importRva)) return false;
    if (!r.seek(optional + 112 + 13 * 8) || !r.readU32(image.delayImportRva)) return false;
    std::size_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i, table += 40) {
        Section s;
        if (!r.seek(table + 8) || !r.readU32(s.virtualSize) || !r.readU32(s.virtualAddress) || !r.readU32(s.rawSize) ||
            !r.readU32(s.rawOffset)) {
            return false;
        }
        image.sections.push_back(s);
    }
    return true;
}

// DLL names of a descriptor table: 20-byte import descriptors (name at +12) or
// 32-byte delay-load descriptors (name at +4), ended by an all-zero one.
bool ImportedNames(const PeImage& image, std::uint32_t rva, std::size_t descriptorSize, std::size_t nameField,
                   std::vector<std::string>& names) {
    if (rva == 0) return true;
    std::size_t offset = 0;
    if (!OffsetOfRva(image, rva, offset)) return false;
    ByteReader r(image.bytes);
    for (;; offset += descriptorSize) {
        std::span<const std::uint8_t> descriptor;
        if (!r.seek(offset) || !r.readBytes(descriptorSize, descriptor)) return false;
        if (std::all_of(descriptor.begin(), descriptor.end(), [](std::uint8_t b) { return b == 0; })) return true;
        std::uint32_t nameRva = 0;
        std::string name;
        if (!r.seek(offset + nameField) || !r.readU32(nameRva) || !ReadCString(image, nameRva, name)) return false;
        names.push_back(name);
    }
}

// Function names a DLL's 20-byte import descriptor brings in: its lookup table
// (at +0) of 8-byte entries, each the RVA of a hint and a name unless bit 63
// marks an import by ordinal.
bool ImportedFunctions(const PeImage& image, const std::string& dll, std::vector<std::string>& functions) {
    std::size_t offset = 0;
    if (image.importRva == 0 || !OffsetOfRva(image, image.importRva, offset)) return false;
    ByteReader r(image.bytes);
    for (;; offset += 20) {
        std::uint32_t lookupRva = 0, nameRva = 0;
        if (!r.seek(offset) || !r.readU32(lookupRva) || !r.seek(offset + 12) || !r.readU32(nameRva)) return false;
        if (nameRva == 0) return true;
        std::string name;
        if (!ReadCString(image, nameRva, name)) return false;
        for (char& c : name) c = AsciiLower(c);
        if (name != dll) continue;
        std::size_t entry = 0;
        if (!OffsetOfRva(image, lookupRva, entry)) return false;
        for (;; entry += 8) {
            std::uint64_t value = 0;
            if (!r.seek(entry) || !r.readU64(value)) return false;
            if (value == 0) break;
            if (value >> 63) continue;
            std::string function;
            if (!ReadCString(image, static_cast<std::uint32_t>(value) + 2, function)) return false;
            functions.push_back(function);
        }
    }
}

bool LoadStub(PeImage& image) {
    const char* stub = std::getenv("ZEL_STUB_EXE");
    if (!stub || !*stub) return false;
    std::ifstream in(stub, std::ios::binary);
    image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return ParsePe(image);
}

// The manifest names Windows 7 as supported: nothing that Windows 7 lacks (or
// has only with an update) may be imported statically, or setup.exe would not
// start there at all. Such functions are looked up at run time.
TEST(StaticImports, NothingNewerThanWindows7) {
    if (!std::getenv("ZEL_STUB_EXE")) GTEST_SKIP() << "ZEL_STUB_EXE names no InstallerCore.exe";
    PeImage image;
    ASSERT_TRUE(LoadStub(image));
    std::vector<std::string> functions;
    ASSERT_TRUE(ImportedFunctions(image, "kernel32.dll", functions));
    ASSERT_NE(std::find(functions.begin(), functions.end(), "CreateProcessW"), functions.end());
    for (const char* newer : {"SetDefaultDllDirectories", "AddDllDirectory", "RemoveDllDirectory",
                              "GetSystemTimePreciseAsFileTime", "CreateFile2", "CopyFile2", "WaitOnAddress"}) {
        EXPECT_EQ(std::find(functions.begin(), functions.end(), newer), functions.end())
            << newer << " is imported statically";
    }
}

TEST(StaticImports, OnlyKnownDlls) {
    const char* stub = std::getenv("ZEL_STUB_EXE");
    if (!stub || !*stub) GTEST_SKIP() << "ZEL_STUB_EXE names no InstallerCore.exe";
    std::ifstream in(stub, std::ios::binary);
    ASSERT_TRUE(in) << stub;
    PeImage image;
    image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ASSERT_TRUE(ParsePe(image)) << stub;

    std::vector<std::string> names;
    ASSERT_TRUE(ImportedNames(image, image.importRva, 20, 12, names));
    ASSERT_TRUE(ImportedNames(image, image.delayImportRva, 32, 4, names));
    ASSERT_FALSE(names.empty());

    // Known DLLs of every supported Windows version (msvcrt is the C runtime).
    const std::vector<std::string> knownDlls = {"kernel32.dll", "user32.dll",  "gdi32.dll",
                                                "advapi32.dll", "shell32.dll", "ole32.dll",
                                                "shlwapi.dll",  "msvcrt.dll",  "oleaut32.dll"};
    for (const std::string& name : names) {
        std::string lower(name);
        for (char& c : lower) c = AsciiLower(c);
        EXPECT_NE(std::find(knownDlls.begin(), knownDlls.end(), lower), knownDlls.end())
            << name << " is imported statically but is no Known DLL";
    }
}

}  // namespace
}  // namespace zel
