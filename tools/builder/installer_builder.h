// Builds setup.exe: checks the product folder and the stub, then writes the stub
// with the payload archive as RT_RCDATA 101, streaming the files from disk.
// Portable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zel {

struct BuildOptions {
    std::filesystem::path productFolder;
    std::filesystem::path output;
    std::filesystem::path stub;  // InstallerCore.exe
    std::filesystem::path icon;  // .ico replacing setup.exe's icon; empty: the stub's
    bool strict = false;         // warnings refuse the build
    // Called while the payload is written, with the bytes written so far and the total.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

struct BuildResult {
    std::uint64_t fileSize = 0;
    std::size_t entries = 0;
    std::vector<std::string> warnings;
};

// Checks everything before writing; writes a temporary file next to the output
// and renames it over the output only once it is complete, so a failure leaves
// no output behind (and an existing one untouched). The output carries the
// product's version resource and, with an icon, the product's icon. Throws
// std::runtime_error (or std::filesystem::filesystem_error) naming the problem;
// with strict, warnings are thrown as well.
BuildResult BuildInstaller(const BuildOptions& options);

}  // namespace zel
