// The product's icon for setup.exe: an .ico file turned into the icon group
// and icon image resources that replace the stub's. Portable.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "builder/pe/resource_tree.h"

namespace zel {

// setup.exe's application icon group, the one Explorer shows.
inline constexpr std::uint32_t kAppIconGroupId = 32512;

// One image of an .ico file and its directory entry.
struct IconImage {
    std::uint8_t width = 0, height = 0, colorCount = 0;
    std::uint16_t planes = 0, bitCount = 0;
    std::vector<std::uint8_t> data;  // a BITMAPINFOHEADER-based image or a PNG
};

// The images of an .ico file. Throws std::runtime_error saying what is wrong
// when the bytes are not an icon file (header, directory, image bounds, image
// format).
std::vector<IconImage> ParseIconFile(std::span<const std::uint8_t> ico);

// Replaces the icon group groupId with the images: the group's old images go
// (unless another group uses them), the new ones take the lowest free RT_ICON
// ids, in the group's language.
void ReplaceIconGroup(ResourceTree& tree, std::uint32_t groupId, const std::vector<IconImage>& images);

}  // namespace zel
