#include "builder/stub_location.h"

#include <stdexcept>
#include <string>
#include <system_error>

#include "builder/product/path_text.h"

namespace zel {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStubName = "InstallerCore.exe";

// Why the candidate is not a usable stub file, as a short clause.
std::string WhyNot(const fs::path& candidate) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(candidate, ec);
    if (status.type() == fs::file_type::symlink) {
        const fs::path target = fs::read_symlink(candidate, ec);
        if (!fs::exists(candidate, ec)) return "a link to " + QuotedPath(target) + ", which does not exist";
        return "a link to " + QuotedPath(target) + ", which is not a file";
    }
    if (status.type() == fs::file_type::not_found) return "not there";
    if (status.type() == fs::file_type::directory) return "a folder";
    return "not a regular file";
}

}  // namespace

std::vector<fs::path> DefaultStubCandidates(const fs::path& builderFolder) {
    return {builderFolder / kStubName, (builderFolder / ".." / "share" / "zelsetup" / kStubName).lexically_normal()};
}

fs::path FindDefaultStub(const fs::path& builderFolder) {
    if (builderFolder.empty()) {
        throw std::runtime_error(
            "cannot tell which folder InstallerBuilder lies in, so it cannot find its stub; pass "
            "InstallerCore.exe with --stub");
    }
    std::string looked;
    for (const fs::path& candidate : DefaultStubCandidates(builderFolder)) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) return candidate;
        looked += "\n  " + QuotedPath(candidate) + ": " + WhyNot(candidate);
    }
    throw std::runtime_error("no InstallerCore.exe (the stub setup.exe is made from) where InstallerBuilder looks:" +
                             looked + "\npass it with --stub <InstallerCore.exe>");
}

}  // namespace zel
