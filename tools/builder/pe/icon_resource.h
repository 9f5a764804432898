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

// The most images an icon file may list: Windows chooses among a few dozen
// sizes (16 to 256 pixels) and colour depths, and no more are ever shown.
inline constexpr std::size_t kMaxIconImages = 128;
// The largest icon file: 128 images of 256 x 256 pixels at 32 bits, as
// bitmaps with their masks, take about 34 MiB.
inline constexpr std::uint64_t kMaxIconFileSize = 40ull << 20;

// One image of an .ico file and its directory entry.
struct IconImage {
    std::uint8_t width = 0, height = 0, colorCount = 0;
    std::uint16_t planes = 0, bitCount = 0;
    std::vector<std::uint8_t> data;  // a BITMAPINFOHEADER-based image or a PNG
};

// Why an icon file of that many bytes cannot be used (a clause as
// ParseIconFile gives), or empty when it is not too large.
std::string IconFileSizeProblem(std::uint64_t fileSize);

// The images of an .ico file. Throws std::runtime_error with a clause saying
// what is wrong ("it is not an icon file", "image 2 lies beyond the file's
// end") when the bytes are not an icon Windows would show: header, directory,
// image bounds and format, more images or bytes than an icon needs, images
// that overlap in the file or repeat one another.
std::vector<IconImage> ParseIconFile(std::span<const std::uint8_t> ico);

// Replaces the icon group groupId with the images: the group's old images go
// (unless another group uses them), the new ones take the lowest free RT_ICON
// ids, in the group's language.
void ReplaceIconGroup(ResourceTree& tree, std::uint32_t groupId, const std::vector<IconImage>& images);

}  // namespace zel
