// Builds setup.exe: checks the product folder and the stub, then writes the stub
// with the payload archive as RT_RCDATA 101, streaming the files from disk.
// Portable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "builder/product/payload_compression.h"

namespace zel {

struct BuildOptions {
    std::filesystem::path productFolder;
    std::filesystem::path output;
    std::filesystem::path stub;  // InstallerCore.exe
    std::filesystem::path icon;  // .ico replacing setup.exe's icon; empty: the stub's
    bool strict = false;         // warnings refuse the build
    // Overrides [Setup] Compression of setup.ini when set.
    std::optional<PayloadCompression> compression;
    unsigned threads = 0;  // compressing threads; 0: one per core (the output is the same)
    // Called while the payload is written, with the bytes written so far and the total.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

struct BuildResult {
    std::uint64_t fileSize = 0;
    std::size_t entries = 0;
    PayloadCompression compression = PayloadCompression::None;
    std::uint64_t payloadSize = 0;   // the archive as stored in setup.exe
    std::uint64_t originalSize = 0;  // the entries' bytes before compression
    std::vector<std::string> warnings;
    std::vector<std::string> notes;  // advice that is no warning (--strict ignores them)
};

// Checks everything before writing; writes a temporary file next to the output
// and renames it over the output only once it is complete, so a failure leaves
// no output behind (and an existing one untouched). The output carries the
// product's version resource and, with an icon, the product's icon. Throws
// std::runtime_error (or std::filesystem::filesystem_error) naming the problem;
// with strict, warnings are thrown as well.
BuildResult BuildInstaller(const BuildOptions& options);

}  // namespace zel
