#include "builder/pe/icon_resource.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "util/byte_reader.h"

namespace zel {
namespace {

constexpr std::size_t kIconDirSize = 6;
constexpr std::size_t kIconEntrySize = 16;
constexpr std::size_t kGroupEntrySize = 14;
constexpr std::uint32_t kBitmapInfoHeaderSize = 40;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

void Append16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// The RT_ICON ids a group names; none when the group is malformed.
std::vector<std::uint16_t> GroupIconIds(std::span<const std::uint8_t> group) {
    ByteReader reader(group);
    std::uint16_t reserved = 0, type = 0, count = 0;
    if (!reader.readU16(reserved) || !reader.readU16(type) || !reader.readU16(count)) return {};
    std::vector<std::uint16_t> ids;
    for (std::uint16_t i = 0; i < count; ++i) {
        std::span<const std::uint8_t> skipped;
        std::uint16_t id = 0;
        if (!reader.readBytes(kGroupEntrySize - 2, skipped) || !reader.readU16(id)) return {};
        ids.push_back(id);
    }
    return ids;
}

}  // namespace

std::string IconFileSizeProblem(std::uint64_t fileSize) {
    if (fileSize <= kMaxIconFileSize) return {};
    return "it is larger than the " + std::to_string(kMaxIconFileSize >> 20) +
           " MiB an icon of every size and colour depth Windows shows needs";
}

std::vector<IconImage> ParseIconFile(std::span<const std::uint8_t> ico) {
    if (const std::string problem = IconFileSizeProblem(ico.size()); !problem.empty()) Fail(problem);
    ByteReader reader(ico);
    std::uint16_t reserved = 0, type = 0, count = 0;
    if (!reader.readU16(reserved) || !reader.readU16(type) || !reader.readU16(count) || reserved != 0 || type != 1) {
        Fail("it is not an icon file (no .ico header)");
    }
    if (count == 0) Fail("its directory lists no image; an icon file holds at least one");
    if (count > kMaxIconImages) {
        Fail("its directory lists " + std::to_string(count) + " images, more than the " +
             std::to_string(kMaxIconImages) +
             " an icon needs (Windows chooses among a few dozen sizes and colour depths)");
    }
    const std::size_t directoryEnd = kIconDirSize + kIconEntrySize * count;
    if (ico.size() < directoryEnd) Fail("its image directory is cut short");
    struct Range {
        std::size_t offset, size, index;
    };
    std::vector<Range> ranges;
    std::vector<IconImage> images;
    for (std::uint16_t i = 0; i < count; ++i) {
        IconImage image;
        std::span<const std::uint8_t> head;
        std::uint32_t size = 0, offset = 0;
        reader.readBytes(4, head);
        reader.readU16(image.planes);
        reader.readU16(image.bitCount);
        reader.readU32(size);
        reader.readU32(offset);
        image.width = head[0];
        image.height = head[1];
        image.colorCount = head[2];
        const std::string which = "image " + std::to_string(i + 1);
        if (size == 0) Fail(which + " is empty");
        if (offset > ico.size() || size > ico.size() - offset) Fail(which + " lies beyond the file's end");
        if (offset < directoryEnd) Fail(which + " lies inside the image directory");
        const std::span<const std::uint8_t> data = ico.subspan(offset, size);
        const bool png = size >= sizeof(kPngSignature) && std::equal(data.begin(), data.begin() + 8, kPngSignature);
        ByteReader header(data);
        std::uint32_t headerSize = 0;
        if (!png && (!header.readU32(headerSize) || headerSize != kBitmapInfoHeaderSize)) {
            Fail(which + " is neither a bitmap nor a PNG image");
        }
        ranges.push_back({offset, size, i});
        image.data.assign(data.begin(), data.end());
        images.push_back(std::move(image));
    }
    // Each image has bytes of its own, so that what the icon costs is bounded
    // by its file, and each one differs, since Windows would only ever show the
    // first of two alike.
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.offset < b.offset; });
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        const Range& before = ranges[i - 1];
        if (ranges[i].offset < before.offset + before.size) {
            const auto [first, second] = std::minmax(before.index, ranges[i].index);
            Fail("images " + std::to_string(first + 1) + " and " + std::to_string(second + 1) +
                 " overlap in the file; each image needs bytes of its own");
        }
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
        for (std::size_t j = i + 1; j < images.size(); ++j) {
            if (images[i].data == images[j].data) {
                Fail("images " + std::to_string(i + 1) + " and " + std::to_string(j + 1) +
                     " are the same image; list each image once");
            }
        }
    }
    return images;
}

void ReplaceIconGroup(ResourceTree& tree, std::uint32_t groupId, const std::vector<IconImage>& images) {
    ResourceKey language;
    std::set<std::uint32_t> stillUsed;
    std::vector<std::uint16_t> oldIds;
    for (const ResourceType& type : tree.types) {
        if (type.key.IsName() || type.key.id != kRtGroupIcon) continue;
        for (const ResourceName& name : type.names) {
            for (const ResourceLeaf& leaf : name.languages) {
                const std::vector<std::uint16_t> ids = GroupIconIds(leaf.data);
                if (!name.key.IsName() && name.key.id == groupId) {
                    language = leaf.language;
                    oldIds.insert(oldIds.end(), ids.begin(), ids.end());
                } else {
                    stillUsed.insert(ids.begin(), ids.end());
                }
            }
        }
    }
    for (const std::uint16_t id : oldIds) {
        if (!stillUsed.contains(id)) RemoveResource(tree, kRtIcon, id);
    }

    std::vector<std::uint8_t> group;
    Append16(group, 0);
    Append16(group, 1);
    Append16(group, static_cast<std::uint16_t>(images.size()));
    std::uint32_t nextId = 1;
    for (const IconImage& image : images) {
        while (FindResource(tree, kRtIcon, nextId) != nullptr) ++nextId;
        if (nextId > 0xFFFF) throw std::runtime_error("no free icon resource id");
        SetResource(tree, kRtIcon, nextId, ResourceLeaf{language, 0, image.data});
        group.insert(group.end(), {image.width, image.height, image.colorCount, 0});
        Append16(group, image.planes);
        Append16(group, image.bitCount);
        const auto size = static_cast<std::uint32_t>(image.data.size());
        Append16(group, static_cast<std::uint16_t>(size));
        Append16(group, static_cast<std::uint16_t>(size >> 16));
        Append16(group, static_cast<std::uint16_t>(nextId));
        ++nextId;
    }
    SetResource(tree, kRtGroupIcon, groupId, ResourceLeaf{language, 0, std::move(group)});
}

}  // namespace zel
