// Checks of where InstallerBuilder writes, made before anything is written: the
// output must go into an existing folder and must not replace any of the files
// it is built from. Portable.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "builder/product/product_folder.h"

namespace zel {

// Thrown instead of building when warnings are to refuse the build (--strict).
class WarningsRefused : public std::runtime_error {
public:
    explicit WarningsRefused(std::vector<std::string> warnings);
    const std::vector<std::string>& warnings() const { return warnings_; }

private:
    std::vector<std::string> warnings_;
};

// Throws when the output is a folder or its folder does not exist.
void CheckOutputFolder(const std::filesystem::path& output);

// Throws when the output is the stub, setup.ini, the licence or a file of the
// payload (under any name: links and other spellings of the same file count),
// or lies inside files/, where the next build would pack it.
void CheckOutputIsNoInput(const std::filesystem::path& output, const std::filesystem::path& productFolder,
                          const std::filesystem::path& stub, const ProductPlan& plan);

}  // namespace zel
