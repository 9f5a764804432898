// Reading and checking a product folder (setup.ini, the licence file, files/)
// before anything is written, and the list of archive entries it yields.
// Portable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "builder/product/payload_compression.h"
#include "config/setup_config.h"

namespace zel {

// One archive entry: its bytes come either from a file or from memory.
struct ProductItem {
    std::string name;                // UTF-8, "/" separators
    std::filesystem::path source;    // the file to copy; empty when data holds the bytes
    std::vector<std::uint8_t> data;  // in-memory contents (setup.ini as stored)
    std::uint64_t size = 0;
};

struct ProductPlan {
    std::vector<ProductItem> items;      // sorted by the bytes of their names
    std::vector<std::string> warnings;   // things worth telling that do not stop the build
    SetupConfig config;                  // setup.ini as setup.exe will read it
    std::vector<std::wstring> installs;  // what an install copies (InstalledFiles)
    CompressionChoice compression;       // [Setup] Compression
};

// Checks the folder and lists what goes into the payload: setup.ini (stored as
// UTF-16LE with a byte-order mark), the licence file at its LicenseFile path and
// every file below files/. Throws std::runtime_error naming the problem: no
// setup.ini or one that is not UTF-8 or UTF-16LE text, no usable LicenseFile or
// licence text, no files/ folder, a name Windows cannot hold, a link to a folder,
// a special file, a link or hard link that may lead outside the product folder,
// and whatever the product checks refuse (product_checks.h), whose warnings it
// collects.
ProductPlan ReadProductFolder(const std::filesystem::path& folder);

// The files an install copies, relative to files/ with "\" separators, sorted:
// the payload names below files/ ("files/..." with "/") that [Files] selects,
// the licence file excluded, as setup.exe selects them.
std::vector<std::wstring> InstalledFiles(const SetupConfig& config, const std::vector<std::string>& payloadNames);

}  // namespace zel
