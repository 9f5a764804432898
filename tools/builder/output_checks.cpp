#include "builder/output_checks.h"

#include "builder/product/path_text.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string Joined(const std::vector<std::string>& warnings) {
    std::string text = std::to_string(warnings.size()) + (warnings.size() == 1 ? " warning" : " warnings") +
                       " and --strict given, so nothing was written:";
    for (const std::string& warning : warnings) text += "\n  " + warning;
    return text;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

WarningsRefused::WarningsRefused(std::vector<std::string> warnings)
    : std::runtime_error(Joined(warnings)), warnings_(std::move(warnings)) {}

void CheckOutputFolder(const fs::path& output) {
    if (fs::is_directory(output)) Fail("the output " + QuotedPath(output) + " is a folder; name the file to write");
    const fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    if (!fs::is_directory(folder)) {
        Fail("the folder " + QuotedPath(folder) + " that the output " + QuotedPath(output.filename()) +
             " goes into does not exist; create it first");
    }
}

void CheckOutputIsNoInput(const fs::path& output, const fs::path& productFolder, const fs::path& stub,
                          const ProductPlan& plan) {
    auto refuse = [&](const std::string& what) {
        Fail("the output " + QuotedPath(output) + " is " + what + ", which the build reads; write setup.exe elsewhere");
    };
    if (fs::exists(output)) {
        if (SameFile(output, stub)) refuse("the stub " + QuotedPath(stub));
        if (SameFile(output, productFolder / "setup.ini")) refuse("the product's setup.ini");
        for (const ProductItem& item : plan.items) {
            if (!item.source.empty() && SameFile(output, item.source)) refuse("the product's " + item.name);
        }
    }
    std::error_code ec;
    const fs::path files = fs::weakly_canonical(productFolder / "files", ec);
    const fs::path target = fs::weakly_canonical(output, ec);
    if (!ec) {
        const fs::path rel = target.lexically_relative(files);
        if (!rel.empty() && *rel.begin() != "..") {
            Fail("the output " + QuotedPath(output) +
                 " lies inside the product's files/ folder, so the next build would pack it; write setup.exe "
                 "elsewhere");
        }
    }
}

}  // namespace zel
