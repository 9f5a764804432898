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

// Writes every entry below tempDir. False when the folder or a file cannot be
// created or written, or when an entry name would leave tempDir.
bool ExtractPayload(const std::wstring& tempDir, const std::vector<std::uint8_t>& payloadData,
                    const std::vector<PayloadEntry>& payloadEntries);

}  // namespace zel
