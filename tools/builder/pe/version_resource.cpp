#include "builder/pe/version_resource.h"

#include <algorithm>

#include "util/byte_reader.h"
#include "util/unicode.h"

#ifndef ZEL_VERSION
#define ZEL_VERSION "0.0.0"
#endif

namespace zel {
namespace {

constexpr std::uint16_t kTypeBinary = 0;
constexpr std::uint16_t kTypeText = 1;
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedStructVersion = 0x00010000;
constexpr std::uint32_t kFileFlagsMask = 0x3F;         // VS_FFI_FILEFLAGSMASK
constexpr std::uint32_t kFileOsNtWindows32 = 0x40004;  // VOS_NT_WINDOWS32
constexpr std::uint32_t kFileTypeApp = 1;              // VFT_APP
// Language neutral, Unicode: the string table "000004b0" and its translation.
constexpr char16_t kStringTableKey[] = u"000004b0";
constexpr std::uint32_t kTranslation = 0x04B00000;

void Append16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Append32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Append16(out, static_cast<std::uint16_t>(v));
    Append16(out, static_cast<std::uint16_t>(v >> 16));
}

void Align4(std::vector<std::uint8_t>& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

std::vector<std::uint8_t> Utf16z(std::wstring_view text) {
    std::vector<std::uint8_t> bytes = EncodeUtf16Le(text);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// One node of the version tree: length, value length, type, key, value and
// children, each child starting on a 4-byte boundary. The length covers the
// node without padding after its end.
std::vector<std::uint8_t> Node(std::wstring_view key, std::uint16_t type, const std::vector<std::uint8_t>& value,
                               std::uint16_t valueLength, const std::vector<std::vector<std::uint8_t>>& children) {
    std::vector<std::uint8_t> out;
    Append16(out, 0);
    Append16(out, valueLength);
    Append16(out, type);
    const std::vector<std::uint8_t> keyBytes = Utf16z(key);
    out.insert(out.end(), keyBytes.begin(), keyBytes.end());
    Align4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const std::vector<std::uint8_t>& child : children) {
        Align4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = static_cast<std::uint8_t>(out.size());
    out[1] = static_cast<std::uint8_t>(out.size() >> 8);
    return out;
}

std::vector<std::uint8_t> StringNode(std::wstring_view key, std::wstring_view value) {
    const std::vector<std::uint8_t> bytes = Utf16z(value);
    return Node(key, kTypeText, bytes, static_cast<std::uint16_t>(bytes.size() / 2), {});
}

std::wstring KeyText(const char16_t* key) {
    std::wstring text;
    for (; *key != 0; ++key) text.push_back(static_cast<wchar_t>(*key));
    return text;
}

// Reads the node at the reader's position; the strings of text nodes with a
// value go to strings. False when the node does not fit.
bool ReadNode(std::span<const std::uint8_t> block, std::size_t at, int depth,
              std::vector<std::pair<std::wstring, std::wstring>>& strings) {
    ByteReader reader(block, at);
    std::uint16_t length = 0, valueLength = 0, type = 0;
    if (depth > 4 || !reader.readU16(length) || !reader.readU16(valueLength) || !reader.readU16(type)) return false;
    if (length < 6 || at + length > block.size()) return false;
    const std::span<const std::uint8_t> node = block.subspan(at, length);
    std::size_t pos = 6;
    std::vector<std::uint8_t> keyBytes;
    for (;; pos += 2) {
        if (pos + 2 > node.size()) return false;
        if (node[pos] == 0 && node[pos + 1] == 0) break;
        keyBytes.push_back(node[pos]);
        keyBytes.push_back(node[pos + 1]);
    }
    pos = (pos + 2 + 3) & ~std::size_t{3};
    const std::size_t valueBytes = type == kTypeText ? 2u * valueLength : valueLength;
    if (pos + valueBytes > node.size()) return false;
    if (type == kTypeText && valueLength > 0 && depth >= 3) {
        std::wstring value = DecodeUtf16Le(node.subspan(pos, valueBytes));
        while (!value.empty() && value.back() == L'\0') value.pop_back();
        strings.emplace_back(DecodeUtf16Le(keyBytes), std::move(value));
    }
    pos = (pos + valueBytes + 3) & ~std::size_t{3};
    while (pos + 6 <= node.size()) {
        const std::size_t childLength = node[pos] | (node[pos + 1] << 8);
        if (childLength == 0 || !ReadNode(block, at + pos, depth + 1, strings)) return false;
        pos = (pos + childLength + 3) & ~std::size_t{3};
    }
    return true;
}

}  // namespace

std::string_view BuilderVersion() { return ZEL_VERSION; }

std::array<std::uint16_t, 4> FixedVersionNumbers(std::wstring_view text) {
    std::array<std::uint16_t, 4> numbers = {0, 0, 0, 0};
    for (std::size_t i = 0; i < numbers.size() && !text.empty(); ++i) {
        const std::size_t dot = text.find(L'.');
        const std::wstring_view component = text.substr(0, dot);
        std::uint32_t value = 0;
        for (const wchar_t c : component) {
            if (c < L'0' || c > L'9') break;
            value = std::min<std::uint32_t>(value * 10 + static_cast<std::uint32_t>(c - L'0'), 65535);
        }
        numbers[i] = static_cast<std::uint16_t>(value);
        if (dot == std::wstring_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return numbers;
}

std::vector<std::pair<std::wstring, std::wstring>> SetupVersionStrings(const SetupConfig& config) {
    const std::string_view builder = BuilderVersion();
    return {
        {L"ProductName", config.AppName},
        {L"CompanyName", config.Publisher},
        {L"ProductVersion", config.AppVersion},
        {L"FileVersion", config.AppVersion},
        {L"FileDescription", config.AppName + L" セットアップ"},
        {L"InternalName", L"setup"},
        {L"OriginalFilename", L"setup.exe"},
        {std::wstring(kBuilderVersionKey), std::wstring(builder.begin(), builder.end())},
    };
}

std::vector<std::uint8_t> BuildVersionResource(const SetupConfig& config) {
    const std::array<std::uint16_t, 4> v = FixedVersionNumbers(config.AppVersion);
    const std::uint32_t high = (static_cast<std::uint32_t>(v[0]) << 16) | v[1];
    const std::uint32_t low = (static_cast<std::uint32_t>(v[2]) << 16) | v[3];
    std::vector<std::uint8_t> fixed;
    for (const std::uint32_t field : {kFixedSignature, kFixedStructVersion, high, low, high, low, kFileFlagsMask, 0u,
                                      kFileOsNtWindows32, kFileTypeApp, 0u, 0u, 0u}) {
        Append32(fixed, field);
    }

    std::vector<std::vector<std::uint8_t>> strings;
    for (const auto& [key, value] : SetupVersionStrings(config)) strings.push_back(StringNode(key, value));
    const std::vector<std::uint8_t> table = Node(KeyText(kStringTableKey), kTypeText, {}, 0, strings);
    const std::vector<std::uint8_t> stringInfo = Node(L"StringFileInfo", kTypeText, {}, 0, {table});
    std::vector<std::uint8_t> translation;
    Append32(translation, kTranslation);
    const std::vector<std::uint8_t> var = Node(L"Translation", kTypeBinary, translation, 4, {});
    const std::vector<std::uint8_t> varInfo = Node(L"VarFileInfo", kTypeText, {}, 0, {var});
    return Node(L"VS_VERSION_INFO", kTypeBinary, fixed, static_cast<std::uint16_t>(fixed.size()),
                {stringInfo, varInfo});
}

std::vector<std::pair<std::wstring, std::wstring>> ReadVersionStrings(std::span<const std::uint8_t> block) {
    std::vector<std::pair<std::wstring, std::wstring>> strings;
    if (!ReadNode(block, 0, 0, strings)) strings.clear();
    return strings;
}

}  // namespace zel
