#include "util/log_file.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "util/error_text.h"
#include "util/log_file_encoding.h"
#include "util/unicode.h"

namespace zel {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

std::string Timestamp(const SYSTEMTIME& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u ", unsigned{time.wYear}, unsigned{time.wMonth},
                  unsigned{time.wDay}, unsigned{time.wHour}, unsigned{time.wMinute}, unsigned{time.wSecond});
    return text;
}

bool WriteAll(HANDLE file, const void* bytes, std::size_t size) {
    DWORD written = 0;
    return ::WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

bool WriteAll(HANDLE file, const std::string& bytes) { return WriteAll(file, bytes.data(), bytes.size()); }

// Reads the whole file from its start (a handle opened for appending writes at
// the end whatever the position) and tells its encoding.
bool ProbeEncoding(HANDLE file, LogFileEncoding& encoding) {
    LogFileEncodingProbe probe;
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
        if (read == 0) break;
        probe.Add(std::string_view(buffer.data(), read));
    }
    encoding = probe.Result();
    return true;
}

}  // namespace

std::string FormatLogEntry(const SYSTEMTIME& time, const std::wstring& text) {
    const std::string stamp = Timestamp(time);
    std::string entry;
    std::size_t start = 0;
    do {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::size_t lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == L'\r') --lineEnd;
        entry += stamp;
        entry += WideToUtf8(std::wstring_view(text).substr(start, lineEnd - start));
        entry += "\r\n";
        start = end + 1;
    } while (start < text.size());  // a final line feed ends the last line, it starts no new one
    return entry;
}

bool LogFile::Open(const std::wstring& path, std::wstring& errorText) {
    utf16_ = false;
    file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        errorText = Win32ErrorText(::GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file_.get(), &size)) {
        errorText = Win32ErrorText(::GetLastError());
        file_.reset();
        return false;
    }
    if (size.QuadPart == 0) {
        if (!WriteAll(file_.get(), kUtf8Bom)) {
            errorText = Win32ErrorText(::GetLastError());
            file_.reset();
            return false;
        }
        return true;
    }
    LogFileEncoding encoding = LogFileEncoding::Unknown;
    if (!ProbeEncoding(file_.get(), encoding)) {
        errorText = Win32ErrorText(::GetLastError());
        file_.reset();
        return false;
    }
    if (encoding == LogFileEncoding::Unknown) {
        errorText = L"ログファイルの文字コードが UTF-8 でも UTF-16LE (BOM 付き) でもないため、追記できません。";
        file_.reset();
        return false;
    }
    utf16_ = encoding == LogFileEncoding::Utf16Le;
    return true;
}

void LogFile::Write(const std::wstring& text) {
    if (!file_) return;
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    // A log that can no longer be written (disk full, network gone) never stops the run.
    const std::string entry = FormatLogEntry(now, text);
    if (utf16_) {
        const std::vector<std::uint8_t> units = EncodeUtf16Le(Utf8ToWide(entry));
        WriteAll(file_.get(), units.data(), units.size());
    } else {
        WriteAll(file_.get(), entry);
    }
}

void LogFile::WriteMessage(const std::wstring& title, const std::wstring& text) { Write(L"[" + title + L"] " + text); }

}  // namespace zel
