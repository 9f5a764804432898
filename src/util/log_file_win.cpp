#include "util/log_file.h"

#include <cstdio>

#include "util/error_text.h"
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

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
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
    file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        errorText = Win32ErrorText(::GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file_.get(), &size) && size.QuadPart == 0 && !WriteAll(file_.get(), kUtf8Bom)) {
        errorText = Win32ErrorText(::GetLastError());
        file_.reset();
        return false;
    }
    return true;
}

void LogFile::Write(const std::wstring& text) {
    if (!file_) return;
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    // A log that can no longer be written (disk full, network gone) never stops the run.
    WriteAll(file_.get(), FormatLogEntry(now, text));
}

void LogFile::WriteMessage(const std::wstring& title, const std::wstring& text) { Write(L"[" + title + L"] " + text); }

}  // namespace zel
