// A PE image's resources as the builder edits them: the usual three levels
// (type, name, language) with every resource's bytes in memory; the edits
// InstallerBuilder makes to numbered resources; and the serialisation of a
// tree into the bytes of a resource section, which the embedding plan places
// in the output image. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

inline constexpr std::uint32_t kRtIcon = 3;
inline constexpr std::uint32_t kRtRcdata = 10;
inline constexpr std::uint32_t kRtGroupIcon = 14;
inline constexpr std::uint32_t kRtVersion = 16;

// In a resource directory entry, the bit that marks a name field as pointing to
// a name string and a data field as pointing to a subdirectory.
inline constexpr std::uint32_t kResourceHighBit = 0x80000000;

// An entry of a resource directory is identified by a name or by a number.
struct ResourceKey {
    std::u16string name;  // empty: the entry is identified by id
    std::uint32_t id = 0;

    bool IsName() const { return !name.empty(); }
    friend bool operator==(const ResourceKey&, const ResourceKey&) = default;
};

// The header fields of a directory table that carry no structure; kept as read.
struct ResourceDirectoryInfo {
    std::uint32_t characteristics = 0;
    std::uint32_t timeDateStamp = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
};

struct ResourceLeaf {
    ResourceKey language;
    std::uint32_t codePage = 0;
    std::vector<std::uint8_t> data;
};

struct ResourceName {
    ResourceKey key;
    ResourceDirectoryInfo info;
    std::vector<ResourceLeaf> languages;
};

struct ResourceType {
    ResourceKey key;
    ResourceDirectoryInfo info;
    std::vector<ResourceName> names;
};

// The usual three levels: type, name, language. Entries keep the order they had
// in the file; named entries come before numbered ones within each directory.
struct ResourceTree {
    ResourceDirectoryInfo info;
    std::vector<ResourceType> types;
};

// Editing a resource tree before it is written (PlanEmbedding).
// Adds the leaf, or replaces every language of an existing type/id pair by it.
// New type and name directories go among the numbered entries in ascending order.
void SetResource(ResourceTree& tree, std::uint32_t type, std::uint32_t id, ResourceLeaf leaf);
// Removes the type/id pair with all its languages (and its type when that becomes
// empty); false when there was none.
bool RemoveResource(ResourceTree& tree, std::uint32_t type, std::uint32_t id);
// The type/id pair, or null.
const ResourceName* FindResource(const ResourceTree& tree, std::uint32_t type, std::uint32_t id);

// Moves the named entries of every directory before the numbered ones, each
// group keeping its order, as a resource section must list them.
void PutNamedEntriesFirst(ResourceTree& tree);

// The resource section's bytes for a tree whose named entries come first in
// every directory, at sectionRva in the image. Layout: all directory tables
// (root, types, names), the name strings, the data entries, then the data,
// each block at an 8-byte boundary. The external leaf's data is not included:
// it is placed last, at externalOffset (set here), with externalSize bytes
// that the caller writes after the returned bytes. Throws std::runtime_error
// when the section would not fit 32-bit addresses.
std::vector<std::uint8_t> SerialiseResourceTree(const ResourceTree& tree, std::uint32_t sectionRva,
                                                const ResourceLeaf* external, std::uint64_t externalSize,
                                                std::uint64_t& externalOffset);

}  // namespace zel
