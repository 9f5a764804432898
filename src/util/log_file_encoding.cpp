#include "util/log_file_encoding.h"

namespace zel {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

}  // namespace

void LogFileEncodingProbe::Add(std::string_view bytes) {
    if (head_.size() < kUtf8Mark.size()) head_ += bytes.substr(0, kUtf8Mark.size() - head_.size());
    size_ += bytes.size();
    for (const char c : bytes) {
        if (!utf8Text_) break;
        const auto b = static_cast<unsigned char>(c);
        if (pending_ > 0) {
            if (b < low_ || b > high_) {
                utf8Text_ = false;
                break;
            }
            --pending_;
            low_ = 0x80;
            high_ = 0xBF;
            continue;
        }
        if (b == 0x00) {
            utf8Text_ = false;  // UTF-16 without its mark, or no text at all
        } else if (b < 0x80) {
            // ASCII
        } else if (b >= 0xC2 && b <= 0xDF) {
            pending_ = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            pending_ = 2;
            if (b == 0xE0) low_ = 0xA0;
            if (b == 0xED) high_ = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            pending_ = 3;
            if (b == 0xF0) low_ = 0x90;
            if (b == 0xF4) high_ = 0x8F;
        } else {
            utf8Text_ = false;
        }
    }
}

LogFileEncoding LogFileEncodingProbe::Result() const {
    if (size_ == 0 || head_.starts_with(kUtf8Mark)) return LogFileEncoding::Utf8;
    if (head_.starts_with(kUtf16LeMark)) {
        // An odd length: not whole UTF-16 units; appending would shift every later line.
        return size_ % 2 == 0 ? LogFileEncoding::Utf16Le : LogFileEncoding::Unknown;
    }
    if (head_.starts_with(kUtf16BeMark)) return LogFileEncoding::Unknown;
    // A sequence cut off at the end counts as not UTF-8.
    return utf8Text_ && pending_ == 0 ? LogFileEncoding::Utf8 : LogFileEncoding::Unknown;
}

LogFileEncoding LogFileEncodingOf(std::string_view bytes) {
    LogFileEncodingProbe probe;
    probe.Add(bytes);
    return probe.Result();
}

}  // namespace zel
