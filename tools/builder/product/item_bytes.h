// The bytes of a payload entry as the builder reads them: from memory, or in
// chunks from the product's file, whose size was taken when the folder was
// checked and is recorded in the archive already, so that any change since is
// an error. Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "builder/product/product_folder.h"

namespace zel {

// Hands the item's bytes to consume in chunks of at most buffer.size() (all
// at once when they are in memory) and returns their XXH64. Throws
// std::runtime_error when the file cannot be opened or became shorter or
// longer while it was read.
std::uint64_t ReadItemBytes(const ProductItem& item, std::vector<std::uint8_t>& buffer,
                            const std::function<void(std::span<const std::uint8_t>)>& consume);

}  // namespace zel
