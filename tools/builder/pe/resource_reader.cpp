#include "builder/pe/resource_reader.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "builder/pe/pe_bytes.h"

namespace zel {
namespace {

using pe::U16;
using pe::U32;

// Limits for reading a stub's resource tree: far above a real program's, low
// enough that a hostile tree (directories shared many times over) cannot make
// the reader copy gigabytes.
constexpr std::size_t kMaxResourceLeaves = 65536;
constexpr std::uint64_t kMaxResourceBytes = 256ull << 20;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

// Reads the resource directory tree from the resource section's bytes (offsets
// in the tree are relative to their start).
class ResourceReader {
public:
    ResourceReader(std::span<const std::uint8_t> rsrc, ResourceDataAt dataAt)
        : rsrc_(rsrc), dataAt_(std::move(dataAt)) {}

    ResourceTree Read() {
        ResourceTree tree;
        Entry root;  // the root directory, at the start of the section
        root.isDirectory = true;
        tree.info = ReadChildren(root, "", [&](const Entry& t) {
            ResourceType& type = tree.types.emplace_back();
            type.key = t.key;
            type.info = ReadChildren(t, "resource tree: a type entry is not a directory", [&](const Entry& n) {
                ResourceName& name = type.names.emplace_back();
                name.key = n.key;
                name.info = ReadChildren(n, "resource tree: a name entry is not a directory", [&](const Entry& l) {
                    if (l.isDirectory) Fail("resource tree: more than three levels");
                    name.languages.push_back(ReadLeaf(l));
                });
            });
        });
        return tree;
    }

private:
    struct Entry {
        ResourceKey key;
        bool isDirectory = false;
        std::uint32_t target = 0;
    };

    // Reads the directory the parent entry points to, then hands each of its
    // entries to visit in file order; notDirectory is the failure when the
    // parent is a leaf instead.
    template <typename Visit>
    ResourceDirectoryInfo ReadChildren(const Entry& parent, const char* notDirectory, Visit visit) {
        if (!parent.isDirectory) Fail(notDirectory);
        std::vector<Entry> entries;
        const ResourceDirectoryInfo info = ReadDirectory(parent.target, entries);
        for (const Entry& entry : entries) visit(entry);
        return info;
    }

    ResourceDirectoryInfo ReadDirectory(std::uint32_t offset, std::vector<Entry>& entries) {
        ResourceDirectoryInfo info;
        info.characteristics = U32(rsrc_, offset, "resource directory");
        info.timeDateStamp = U32(rsrc_, offset + 4, "resource directory");
        info.majorVersion = U16(rsrc_, offset + 8, "resource directory");
        info.minorVersion = U16(rsrc_, offset + 10, "resource directory");
        const std::uint32_t count =
            U16(rsrc_, offset + 12, "resource directory") + U16(rsrc_, offset + 14, "resource directory");
        if (static_cast<std::uint64_t>(offset) + 16 + 8ull * count > rsrc_.size()) Fail("truncated resource directory");
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t at = static_cast<std::uint64_t>(offset) + 16 + 8ull * i;
            const std::uint32_t nameField = U32(rsrc_, at, "resource entry");
            const std::uint32_t dataField = U32(rsrc_, at + 4, "resource entry");
            Entry entry;
            if (nameField & kResourceHighBit) {
                entry.key.name = ReadName(nameField & ~kResourceHighBit);
            } else {
                entry.key.id = nameField;
            }
            entry.isDirectory = (dataField & kResourceHighBit) != 0;
            entry.target = dataField & ~kResourceHighBit;
            entries.push_back(std::move(entry));
        }
        return info;
    }

    std::u16string ReadName(std::uint32_t offset) {
        const std::uint16_t length = U16(rsrc_, offset, "resource name");
        if (length == 0) Fail("resource tree: an empty resource name");
        if (static_cast<std::uint64_t>(offset) + 2 + 2ull * length > rsrc_.size()) Fail("truncated resource name");
        std::u16string name;
        for (std::uint32_t i = 0; i < length; ++i)
            name.push_back(static_cast<char16_t>(U16(rsrc_, offset + 2 + 2 * i, "")));
        return name;
    }

    ResourceLeaf ReadLeaf(const Entry& entry) {
        if (++leafCount_ > kMaxResourceLeaves) Fail("resource tree: too many resources");
        const std::uint32_t rva = U32(rsrc_, entry.target, "resource data entry");
        const std::uint32_t size = U32(rsrc_, static_cast<std::uint64_t>(entry.target) + 4, "resource data entry");
        const std::uint32_t codePage = U32(rsrc_, static_cast<std::uint64_t>(entry.target) + 8, "resource data entry");
        totalBytes_ += size;
        if (totalBytes_ > kMaxResourceBytes) Fail("resource tree: resources too large");
        ResourceLeaf leaf;
        leaf.language = entry.key;
        leaf.codePage = codePage;
        const std::span<const std::uint8_t> data = dataAt_(rva, size);
        leaf.data.assign(data.begin(), data.end());
        return leaf;
    }

    std::span<const std::uint8_t> rsrc_;
    ResourceDataAt dataAt_;
    std::size_t leafCount_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace

ResourceTree ReadResourceTree(std::span<const std::uint8_t> rsrc, ResourceDataAt dataAt) {
    return ResourceReader(rsrc, std::move(dataAt)).Read();
}

}  // namespace zel
