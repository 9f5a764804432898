// The embedded payload: reading it from the module's resources and extracting
// it into a fresh temp folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload/payload_archive.h"

namespace zel {

// Copies resource RT_RCDATA 101 of the module and parses its directory. False
// when the resource is missing, empty or not a well-formed archive.
bool ReadPayload(HMODULE module, std::vector<std::uint8_t>& payloadData, std::vector<PayloadEntry>& payloadEntries);

// The user's temp path + "ZelSetup_" + local date and time without leading zeros.
std::wstring CreateTempFolderName();

// The folder's own name for a given local time: "ZelSetup_" + year, month, day,
// "_", hour, minute, second, each without leading zeros.
std::wstring TempFolderLeafName(const SYSTEMTIME& time);

// Writes every entry below tempDir. False when the folder or a file cannot be
// created or written, or when an entry name would leave tempDir.
bool ExtractPayload(const std::wstring& tempDir, const std::vector<std::uint8_t>& payloadData,
                    const std::vector<PayloadEntry>& payloadEntries);

}  // namespace zel
