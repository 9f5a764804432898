// The resources of setup.exe that carry the payload: RT_RCDATA with these ids.
// The builder writes them; setup.exe reads them from its own module. Portable,
// so that both use the same numbers.
#pragma once

#include <cstdint>

namespace zel {

// The payload archive.
inline constexpr std::uint32_t kPayloadResourceId = 101;
// The digests of the archive's directory and entries (payload_digest.h).
inline constexpr std::uint32_t kPayloadDigestsResourceId = 102;

}  // namespace zel
