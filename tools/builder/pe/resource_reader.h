// Reading the resource directory tree of a PE image's resource section into a
// ResourceTree. A stub comes from outside the builder, so the reader refuses
// what it cannot represent (more than three levels, a leaf where a directory
// belongs) and stops a hostile tree, whose directories may be shared many times
// over, before it copies gigabytes. Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "builder/pe/resource_tree.h"

namespace zel {

// The bytes of a resource's data, given its RVA and size; throws when they lie
// outside the image.
using ResourceDataAt = std::function<std::span<const std::uint8_t>(std::uint32_t rva, std::uint32_t size)>;

// The tree of the resource section whose bytes from the root directory on are
// rsrc (offsets in the tree are relative to their start). Throws
// std::runtime_error naming what is malformed.
ResourceTree ReadResourceTree(std::span<const std::uint8_t> rsrc, ResourceDataAt dataAt);

}  // namespace zel
