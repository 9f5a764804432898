// In which encoding lines are appended to an existing log file. Portable.
//
// A log file may be shared with other tools of a deployment, so it is not
// always one this program made. Lines are appended in the encoding the file
// already has where that can be told for certain: a byte-order mark (UTF-8 or
// UTF-16LE), or, without one, bytes that are all UTF-8 text (plain ASCII
// included), which UTF-8 lines keep in one encoding. Anything else (Shift_JIS
// or another code page, UTF-16 big-endian or without its mark) is refused
// rather than guessed: lines in the wrong encoding would leave the file in two,
// and Japanese lines cannot be written in most code pages without loss.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zel {

enum class LogFileEncoding {
    Utf8,     // with its mark, or UTF-8 text without one; an empty file gets the mark
    Utf16Le,  // with its mark
    Unknown   // refused
};

class LogFileEncodingProbe {
public:
    // The file's bytes in order, in pieces of any size.
    void Add(std::string_view bytes);
    // What the bytes given so far say; an empty file is UTF-8.
    LogFileEncoding Result() const;

private:
    std::string head_;  // the first bytes, up to the length of the longest mark
    std::uint64_t size_ = 0;
    // UTF-8 check of the whole file: continuation bytes still due, and the range
    // the next one must lie in (narrower after some lead bytes: no overlong forms,
    // no surrogates, nothing above U+10FFFF).
    bool utf8Text_ = true;
    int pending_ = 0;
    unsigned char low_ = 0x80;
    unsigned char high_ = 0xBF;
};

// The encoding of a whole file's bytes (tests and small files).
LogFileEncoding LogFileEncodingOf(std::string_view bytes);

}  // namespace zel
