#include "builder/product/payload_compression.h"

#include <array>
#include <stdexcept>

#include "util/unicode.h"

namespace zel {
namespace {

struct Named {
    std::string_view name;
    PayloadCompression method;
};

constexpr std::array<Named, 2> kMethods = {
    {{"none", PayloadCompression::None}, {"deflate", PayloadCompression::Deflate}}};

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<PayloadCompression> CompressionNamed(std::string_view name) {
    for (const Named& named : kMethods) {
        if (SameIgnoringAsciiCase(name, named.name)) return named.method;
    }
    return std::nullopt;
}

std::string CompressionNames() {
    std::string names;
    for (const Named& named : kMethods) {
        if (!names.empty()) names += ", ";
        names += named.name;
    }
    return names;
}

std::string_view CompressionName(PayloadCompression method) {
    for (const Named& named : kMethods) {
        if (named.method == method) return named.name;
    }
    return "?";
}

CompressionChoice CompressionOfSetupIni(const IniDocument& document) {
    const std::wstring value = document.GetValue(L"Setup", L"Compression").value_or(L"");
    if (value.empty()) return {};
    const std::string name = WideToUtf8(value);
    const std::optional<PayloadCompression> method = CompressionNamed(name);
    if (!method) {
        throw std::runtime_error("setup.ini: [Setup] Compression=" + name + " names no method; use one of " +
                                 CompressionNames());
    }
    return {*method, true};
}

}  // namespace zel
