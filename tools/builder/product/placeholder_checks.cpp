#include "builder/product/placeholder_checks.h"

#include <stdexcept>
#include <vector>

#include "builder/product/product_checks.h"
#include "util/ascii.h"
#include "util/unicode.h"

namespace zel {

namespace {

bool HoldsPlaceholder(std::wstring_view text) {
    for (std::size_t i = 0; i + kPlaceholderStart.size() <= text.size(); ++i) {
        if (StartsWithIgnoreAsciiCase(text.substr(i), kPlaceholderStart)) return true;
    }
    return false;
}

}  // namespace

std::wstring Placeholder(std::wstring_view what) {
    std::wstring text(kPlaceholderStart);
    text += L' ';
    text += what;
    text += L'>';
    return text;
}

void CheckNoPlaceholders(const IniDocument& ini, std::string_view licenseName, std::wstring_view licenseText) {
    std::vector<std::string> found;
    for (const IniDocument::Section& section : ini.Sections()) {
        for (const IniDocument::Line& line : section.lines) {
            if (!HoldsPlaceholder(line.value)) continue;
            found.push_back("setup.ini line " + std::to_string(line.lineNumber) + " ([" + WideToUtf8(section.name) +
                            "] " + WideToUtf8(line.key) + "): " + QuoteValue(line.value));
        }
    }
    std::size_t lineNumber = 1;
    for (std::size_t start = 0; start <= licenseText.size();) {
        std::size_t end = licenseText.find(L'\n', start);
        if (end == std::wstring_view::npos) end = licenseText.size();
        const std::wstring_view line = licenseText.substr(start, end - start);
        if (HoldsPlaceholder(line)) {
            found.push_back(std::string(licenseName) + " line " + std::to_string(lineNumber) + ": " +
                            QuoteValue(line.substr(0, line.ends_with(L'\r') ? line.size() - 1 : line.size())));
        }
        start = end + 1;
        ++lineNumber;
    }
    if (found.empty()) return;
    std::string message =
        "the product folder still holds placeholders (written by InstallerBuilder --init); replace each with the "
        "product's own text:";
    for (const std::string& place : found) message += "\n  " + place;
    throw std::runtime_error(message);
}

}  // namespace zel
