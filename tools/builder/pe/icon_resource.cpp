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

std::vector<IconImage> ParseIconFile(std::span<const std::uint8_t> ico) {
    ByteReader reader(ico);
    std::uint16_t reserved = 0, type = 0, count = 0;
    if (!reader.readU16(reserved) || !reader.readU16(type) || !reader.readU16(count) || reserved != 0 || type != 1) {
        Fail("is not an icon file (no .ico header)");
    }
    if (count == 0) Fail("holds no image");
    if (ico.size() < kIconDirSize + kIconEntrySize * count) Fail("is cut short in its image directory");
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
        if (size == 0 || offset > ico.size() || size > ico.size() - offset) Fail(which + " lies beyond the file's end");
        const std::span<const std::uint8_t> data = ico.subspan(offset, size);
        const bool png = size >= sizeof(kPngSignature) && std::equal(data.begin(), data.begin() + 8, kPngSignature);
        ByteReader header(data);
        std::uint32_t headerSize = 0;
        if (!png && (!header.readU32(headerSize) || headerSize != kBitmapInfoHeaderSize)) {
            Fail(which + " is neither a bitmap nor a PNG image");
        }
        image.data.assign(data.begin(), data.end());
        images.push_back(std::move(image));
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
