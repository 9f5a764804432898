// The whole-payload check a run makes before it writes anything: every block
// that holds one of the entries it will write is compared with its digest, on
// all cores, so that a damaged download is found before the first file of the
// product exists rather than when its turn comes. Portable.
#pragma once

#include <cstddef>
#include <vector>

#include "payload/mapped_payload.h"

namespace zel {

// Index into `entries` of the first entry whose block differs from its digest,
// or entries.size() when every block holds (always, without digests). Each
// block is hashed once however many of the entries it holds.
std::size_t FirstDamagedEntry(const MappedPayload& payload, const std::vector<std::size_t>& entries);

}  // namespace zel
