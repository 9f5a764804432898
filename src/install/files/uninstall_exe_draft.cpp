#include "install/files/uninstall_exe_draft.h"

#include "install/files/installed_names.h"
#include "util/ascii.h"

namespace zel {
namespace {

constexpr std::wstring_view kDraftSuffix = L".tmp";

// A run of decimal digits that fits in 32 bits, without a sign or leading blanks.
std::optional<std::uint32_t> DecimalNumber(std::wstring_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::wstring UninstallExeDraftName(std::uint32_t processId, unsigned number) {
    return std::wstring(kUninstallExeName) + L"." + std::to_wstring(processId) + L"-" + std::to_wstring(number) +
           std::wstring(kDraftSuffix);
}

std::optional<std::uint32_t> UninstallExeDraftProcess(std::wstring_view name) {
    const std::wstring prefix = std::wstring(kUninstallExeName) + L".";
    if (name.size() <= prefix.size() + kDraftSuffix.size() || !StartsWithIgnoreAsciiCase(name, prefix) ||
        !EndsWithIgnoreAsciiCase(name, kDraftSuffix)) {
        return std::nullopt;
    }
    const std::wstring_view middle = name.substr(prefix.size(), name.size() - prefix.size() - kDraftSuffix.size());
    const size_t dash = middle.find(L'-');
    if (dash == std::wstring_view::npos || !DecimalNumber(middle.substr(dash + 1))) return std::nullopt;
    return DecimalNumber(middle.substr(0, dash));
}

}  // namespace zel
