#include "config/text_encoding.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <fstream>

#include "util/unicode.h"

namespace zel {

namespace {

constexpr UINT kShiftJisCodePage = 932;

// MultiByteToWideChar in its two passes: size, then convert. Empty when the
// call fails (with MB_ERR_INVALID_CHARS: when the bytes are not valid).
std::wstring MultiByteToWide(UINT codePage, DWORD flags, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int byteCount = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(codePage, flags, bytes.data(), byteCount, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    const int written = ::MultiByteToWideChar(codePage, flags, bytes.data(), byteCount, wide.data(), length);
    if (written <= 0) return {};
    wide.resize(static_cast<std::size_t>(written));
    return wide;
}

bool StartsWith(const std::string& bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

constexpr std::string_view kUtf16LeMark("\xFF\xFE", 2);
constexpr std::string_view kUtf8Mark("\xEF\xBB\xBF", 3);

std::string ReadFileBytes(const std::filesystem::path& path, bool& opened) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    opened = in.is_open();
    if (!opened) return {};
    return ReadWholeFile(in);
}

// The bytes after a UTF-16LE mark as code units, without trailing U+0000. An odd
// byte count rejects the whole file.
std::wstring DecodeUtf16LeAfterMark(const std::string& bytes) {
    if (bytes.size() % 2 != 0) return {};
    std::wstring text((bytes.size() - kUtf16LeMark.size()) / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto low = static_cast<unsigned char>(bytes[kUtf16LeMark.size() + 2 * i]);
        const auto high = static_cast<unsigned char>(bytes[kUtf16LeMark.size() + 2 * i + 1]);
        text[i] = static_cast<wchar_t>(low | (high << 8));
    }
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

// Steps shared by both loaders: true when the bytes carried a mark (or were
// absent), with `text` set; false when the caller must decode unmarked bytes.
bool DecodeMarkedText(const std::filesystem::path& path, std::string& bytes, std::wstring& text) {
    bool opened = false;
    bytes = ReadFileBytes(path, opened);
    if (!opened || bytes.empty()) {
        text.clear();
        return true;
    }
    if (StartsWith(bytes, kUtf16LeMark)) {
        text = DecodeUtf16LeAfterMark(bytes);
        return true;
    }
    if (StartsWith(bytes, kUtf8Mark)) {
        text = Utf8ToWide(std::string_view(bytes).substr(kUtf8Mark.size()));
        return true;
    }
    return false;
}

}  // namespace

std::string ReadWholeFile(std::istream& in) {
    std::string bytes;
    char chunk[64 * 1024];
    while (in.read(chunk, sizeof(chunk)) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    return bytes;
}

std::wstring LoadTextFile(const std::filesystem::path& path) {
    std::string bytes;
    std::wstring text;
    if (DecodeMarkedText(path, bytes, text)) return text;
    return Utf8ToWide(bytes);
}

std::wstring LoadTextFileWithCp932Fallback(const std::filesystem::path& path) {
    std::string bytes;
    std::wstring text;
    if (DecodeMarkedText(path, bytes, text)) return text;
    if (Utf8ToWideStrict(bytes, text) && !text.empty()) return text;
    return MultiByteToWide(kShiftJisCodePage, 0, bytes);
}

std::vector<std::wstring> ReadUtf8Lines(const std::filesystem::path& path) {
    bool opened = false;
    const std::string bytes = ReadFileBytes(path, opened);
    std::string_view rest(bytes);
    if (StartsWith(bytes, kUtf8Mark)) rest.remove_prefix(kUtf8Mark.size());

    std::vector<std::wstring> lines;
    while (!rest.empty()) {
        const std::size_t lineFeed = rest.find('\n');
        std::string_view piece = rest.substr(0, lineFeed);
        rest = lineFeed == std::string_view::npos ? std::string_view() : rest.substr(lineFeed + 1);
        while (!piece.empty() && (piece.back() == '\r' || piece.back() == '\n')) piece.remove_suffix(1);
        if (piece.empty()) continue;
        lines.push_back(Utf8ToWide(piece));
    }
    return lines;
}

}  // namespace zel
