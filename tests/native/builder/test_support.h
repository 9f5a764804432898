// Helpers shared by the builder tests: byte-file reading and writing,
// reproducible payload bytes, a small PE32+ image built byte by byte
// (independently of the code under test) with a resource tree that has named
// and numbered entries, and a look-up of a resource in a tree read back.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "builder/pe/resource_tree.h"
#include "common/little_endian.h"
#include "common/scratch_folder.h"

namespace zel::test {

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Bytes without structure, the same for the same seed: payloads.
inline std::vector<std::uint8_t> Pseudorandom(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// The first language of the type/name pair, or null.
inline const ResourceLeaf* FindLeaf(const ResourceTree& tree, const ResourceKey& type, const ResourceKey& name) {
    for (const ResourceType& t : tree.types) {
        if (!(t.key == type)) continue;
        for (const ResourceName& n : t.names) {
            if (n.key == name && !n.languages.empty()) return &n.languages.front();
        }
    }
    return nullptr;
}

inline std::string Bytes(const std::vector<std::uint8_t>& data) { return std::string(data.begin(), data.end()); }

// Offsets in the test image.
inline constexpr std::size_t kPeOffset = 0x40;
inline constexpr std::size_t kOptionalHeader = kPeOffset + 24;
inline constexpr std::size_t kSectionTable = kOptionalHeader + 240;
inline constexpr std::uint32_t kRsrcRva = 0x2000;
inline constexpr std::size_t kRsrcRaw = 0x600;
// Offset of the first data entry inside .rsrc ("hello world").
inline constexpr std::size_t kFirstDataEntry = 0x98;

// .text, .rsrc and (when withReloc) a .reloc section after .rsrc, as mingw lays
// them out. Resources: type "ZTYPE" / id 7 / language 1033 = "hello world";
// type 3 / name "ICONX" / language 0 = "second".
inline std::vector<std::uint8_t> MakeTestPe(bool withReloc) {
    const std::uint16_t sections = withReloc ? 3 : 2;
    std::vector<std::uint8_t> b(withReloc ? 0xA00 : 0x800, 0);
    b[0] = 'M';
    b[1] = 'Z';
    PutU32(b, 0x3C, kPeOffset);
    PutU32(b, kPeOffset, 0x00004550);
    PutU16(b, kPeOffset + 4, 0x8664);
    PutU16(b, kPeOffset + 6, sections);
    PutU16(b, kPeOffset + 20, 240);
    PutU16(b, kPeOffset + 22, 0x0022);
    const std::size_t o = kOptionalHeader;
    PutU16(b, o, 0x20B);
    PutU32(b, o + 4, 0x200);                         // SizeOfCode
    PutU32(b, o + 8, withReloc ? 0x400 : 0x200);     // SizeOfInitializedData
    PutU32(b, o + 16, 0x1000);                       // AddressOfEntryPoint
    PutU32(b, o + 20, 0x1000);                       // BaseOfCode
    PutU32(b, o + 24, 0x40000000);                   // ImageBase (low)
    PutU32(b, o + 28, 0x1);                          // ImageBase (high)
    PutU32(b, o + 32, 0x1000);                       // SectionAlignment
    PutU32(b, o + 36, 0x200);                        // FileAlignment
    PutU16(b, o + 40, 6);                            // OS version
    PutU16(b, o + 48, 6);                            // subsystem version
    PutU32(b, o + 56, withReloc ? 0x4000 : 0x3000);  // SizeOfImage
    PutU32(b, o + 60, 0x400);                        // SizeOfHeaders
    PutU16(b, o + 68, 2);                            // GUI
    PutU32(b, o + 72, 0x100000);
    PutU32(b, o + 80, 0x1000);
    PutU32(b, o + 88, 0x100000);
    PutU32(b, o + 96, 0x1000);
    PutU32(b, o + 108, 16);
    PutU32(b, o + 112 + 8 * 2, kRsrcRva);
    PutU32(b, o + 112 + 8 * 2 + 4, 0xCE);
    if (withReloc) {
        PutU32(b, o + 112 + 8 * 5, 0x3000);
        PutU32(b, o + 112 + 8 * 5 + 4, 0x08);
    }
    auto section = [&](int index, const char* name, std::uint32_t vsize, std::uint32_t va, std::uint32_t raw,
                       std::uint32_t characteristics) {
        const std::size_t at = kSectionTable + 40 * index;
        for (int i = 0; name[i] != 0; ++i) b[at + i] = static_cast<std::uint8_t>(name[i]);
        PutU32(b, at + 8, vsize);
        PutU32(b, at + 12, va);
        PutU32(b, at + 16, 0x200);
        PutU32(b, at + 20, raw);
        PutU32(b, at + 36, characteristics);
    };
    section(0, ".text", 0x10, 0x1000, 0x400, 0x60000020);
    section(1, ".rsrc", 0xCE, kRsrcRva, kRsrcRaw, 0x40000040);
    if (withReloc) section(2, ".reloc", 0x08, 0x3000, 0x800, 0x42000040);
    b[0x400] = 0xC3;  // ret

    // The resource tree, offsets relative to the start of .rsrc.
    auto dir = [&](std::size_t at, std::uint16_t named, std::uint16_t ids) {
        PutU16(b, kRsrcRaw + at + 12, named);
        PutU16(b, kRsrcRaw + at + 14, ids);
    };
    auto entry = [&](std::size_t at, std::uint32_t name, std::uint32_t target) {
        PutU32(b, kRsrcRaw + at, name);
        PutU32(b, kRsrcRaw + at + 4, target);
    };
    auto text = [&](std::size_t at, std::string_view s) {
        for (std::size_t i = 0; i < s.size(); ++i) b[kRsrcRaw + at + i] = static_cast<std::uint8_t>(s[i]);
    };
    auto name = [&](std::size_t at, std::string_view s) {
        PutU16(b, kRsrcRaw + at, static_cast<std::uint32_t>(s.size()));
        for (std::size_t i = 0; i < s.size(); ++i)
            PutU16(b, kRsrcRaw + at + 2 + 2 * i, static_cast<std::uint8_t>(s[i]));
    };
    constexpr std::uint32_t kDir = 0x80000000, kName = 0x80000000;
    dir(0x00, 1, 1);
    entry(0x10, kName | 0x80, kDir | 0x20);
    entry(0x18, 3, kDir | 0x38);
    dir(0x20, 0, 1);
    entry(0x30, 7, kDir | 0x50);
    dir(0x38, 1, 0);
    entry(0x48, kName | 0x8C, kDir | 0x68);
    dir(0x50, 0, 1);
    entry(0x60, 1033, 0x98);
    dir(0x68, 0, 1);
    entry(0x78, 0, 0xA8);
    name(0x80, "ZTYPE");
    name(0x8C, "ICONX");
    PutU32(b, kRsrcRaw + 0x98, kRsrcRva + 0xB8);
    PutU32(b, kRsrcRaw + 0x9C, 11);
    PutU32(b, kRsrcRaw + 0xA8, kRsrcRva + 0xC8);
    PutU32(b, kRsrcRaw + 0xAC, 6);
    text(0xB8, "hello world");
    text(0xC8, "second");
    if (withReloc) {
        PutU32(b, 0x800, 0x1000);  // one block for the .text page, without entries
        PutU32(b, 0x804, 0x08);
    }
    return b;
}

inline std::string Python3() { return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// True when pefile can be imported (Debian's python3-pefile).
inline bool HavePefile() { return std::system((Python3() + " -c 'import pefile' 2>/dev/null").c_str()) == 0; }

// Runs verify_pe.py; returns its exit status (0 when the output is sound).
inline int VerifyPe(const std::filesystem::path& stub, const std::filesystem::path& out,
                    const std::filesystem::path& payload) {
    const std::string command = Python3() + " " + ZEL_SOURCE_DIR "/tests/native/builder/verify_pe.py '" +
                                stub.string() + "' '" + out.string() + "' '" + payload.string() + "'";
    return std::system(command.c_str());
}

#ifdef ZEL_INSTALLER_BUILDER
// Runs the InstallerBuilder of this tree with the arguments (shell syntax),
// its output going to the two files, behind an optional command that changes
// how it runs (another user); its exit status, or -1.
inline int RunBuilder(const std::string& args, const std::filesystem::path& out, const std::filesystem::path& err,
                      const std::string& runAs = {}) {
    const std::string command =
        runAs + "'" + ZEL_INSTALLER_BUILDER + "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace zel::test
