// The embedded payload: reading it from the module's resources and extracting
// it into a fresh temp folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "payload/mapped_payload.h"
#include "payload/payload_archive.h"
#include "payload/payload_digest.h"

namespace zel {

// Finds resource RT_RCDATA 101 of the module and parses its directory into
// payload.data and payload.archive. The data is a view of the resource where
// the loader mapped it, valid as long as the module stays loaded (for the
// program's own module: the whole run). False when the resource is missing,
// empty or not a well-formed archive.
bool ReadPayload(HMODULE module, MappedPayload& payload);

// Reads the payload's digests (RT_RCDATA 102) into payload.digests, or leaves them empty
// when the module has none (a setup.exe built without them installs unchecked).
// False when the resource is there but malformed, holds another number of
// entries, or the archive's header and directory do not match it: the payload
// was damaged.
bool ReadPayloadDigests(HMODULE module, MappedPayload& payload);

// Writes the entries of the payload with the given indices below tempDir. False when the folder
// or a file cannot be created or written, when an entry name would leave
// tempDir, or when an entry's block does not decode.
bool ExtractPayload(const std::wstring& tempDir, const MappedPayload& payload, const std::vector<std::size_t>& entries);

}  // namespace zel
