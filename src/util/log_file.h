// The log file of a run: UTF-8 (or the UTF-16LE of a file that has it), CR LF
// line ends, each line stamped with the local time. Opened for appending, so
// that the runs of one deployment can share one file.
#pragma once

#include <windows.h>

#include <string>

#include "util/unique_handle.h"

namespace zel {

class LogFile {
public:
    // Opens the file for appending, creating it when missing; a new or empty file
    // starts with the UTF-8 byte-order mark, an existing one gets lines in its
    // own encoding (log_file_encoding.h). Others may read and append meanwhile.
    // False with the reason when the file cannot be opened or its encoding is
    // not one lines can be added in; its folder is never created.
    bool Open(const std::wstring& path, std::wstring& errorText);
    bool IsOpen() const noexcept { return static_cast<bool>(file_); }

    // Every line of the text (split at line feeds) with "YYYY-MM-DD hh:mm:ss " in
    // front. Written through at once, so that the file is complete whenever the
    // process ends. Does nothing while the file is not open.
    void Write(const std::wstring& text);
    // A message box's title and text as "[title] text".
    void WriteMessage(const std::wstring& title, const std::wstring& text);

private:
    UniqueKernelHandle file_;
    bool utf16_ = false;  // lines go in as UTF-16LE
};

// The lines of a log entry as they are written, without the byte-order mark.
std::string FormatLogEntry(const SYSTEMTIME& time, const std::wstring& text);

}  // namespace zel
