#include "builder/pe/resource_tree.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "builder/pe/pe_bytes.h"

namespace zel {
namespace {

using pe::AlignUp;
using pe::Checked32;
using pe::Put16;
using pe::Put32;

const ResourceKey& KeyOf(const ResourceType& node) { return node.key; }
const ResourceKey& KeyOf(const ResourceName& node) { return node.key; }
const ResourceKey& KeyOf(const ResourceLeaf& node) { return node.language; }

template <typename Node>
Node& FindOrInsertId(std::vector<Node>& nodes, std::uint32_t id) {
    for (Node& node : nodes) {
        if (!node.key.IsName() && node.key.id == id) return node;
    }
    auto pos = std::find_if(nodes.begin(), nodes.end(),
                            [id](const Node& node) { return !node.key.IsName() && node.key.id > id; });
    Node node;
    node.key.id = id;
    return *nodes.insert(pos, std::move(node));
}

template <typename Node>
void NamedFirst(std::vector<Node>& nodes) {
    std::stable_partition(nodes.begin(), nodes.end(), [](const Node& node) { return KeyOf(node).IsName(); });
}

std::uint32_t NamedCount(const auto& nodes) {
    return static_cast<std::uint32_t>(
        std::count_if(nodes.begin(), nodes.end(), [](const auto& node) { return KeyOf(node).IsName(); }));
}

}  // namespace

void SetResource(ResourceTree& tree, std::uint32_t type, std::uint32_t id, ResourceLeaf leaf) {
    ResourceName& name = FindOrInsertId(FindOrInsertId(tree.types, type).names, id);
    name.languages.clear();
    name.languages.push_back(std::move(leaf));
}

bool RemoveResource(ResourceTree& tree, std::uint32_t type, std::uint32_t id) {
    for (auto t = tree.types.begin(); t != tree.types.end(); ++t) {
        if (t->key.IsName() || t->key.id != type) continue;
        const auto n = std::find_if(t->names.begin(), t->names.end(),
                                    [id](const ResourceName& name) { return !name.key.IsName() && name.key.id == id; });
        if (n == t->names.end()) return false;
        t->names.erase(n);
        if (t->names.empty()) tree.types.erase(t);
        return true;
    }
    return false;
}

const ResourceName* FindResource(const ResourceTree& tree, std::uint32_t type, std::uint32_t id) {
    for (const ResourceType& t : tree.types) {
        if (t.key.IsName() || t.key.id != type) continue;
        for (const ResourceName& name : t.names) {
            if (!name.key.IsName() && name.key.id == id) return &name;
        }
    }
    return nullptr;
}

void PutNamedEntriesFirst(ResourceTree& tree) {
    NamedFirst(tree.types);
    for (ResourceType& type : tree.types) {
        NamedFirst(type.names);
        for (ResourceName& name : type.names) NamedFirst(name.languages);
    }
}

std::vector<std::uint8_t> SerialiseResourceTree(const ResourceTree& tree, std::uint32_t sectionRva,
                                                const ResourceLeaf* external, std::uint64_t externalSize,
                                                std::uint64_t& externalOffset) {
    auto dirSize = [](std::size_t entries) { return 16 + 8 * static_cast<std::uint64_t>(entries); };
    std::vector<const ResourceName*> names;
    std::vector<const ResourceLeaf*> leaves;
    for (const ResourceType& type : tree.types) {
        for (const ResourceName& name : type.names) {
            names.push_back(&name);
            for (const ResourceLeaf& leaf : name.languages) leaves.push_back(&leaf);
        }
    }

    // Offsets, keyed by the node they belong to.
    std::map<const void*, std::uint64_t> dirAt, stringAt, entryAt, dataAt;
    std::uint64_t pos = dirSize(tree.types.size());
    for (const ResourceType& type : tree.types) {
        dirAt[&type] = pos;
        pos += dirSize(type.names.size());
    }
    for (const ResourceName* name : names) {
        dirAt[name] = pos;
        pos += dirSize(name->languages.size());
    }
    auto placeString = [&](const ResourceKey& key) {
        if (!key.IsName()) return;
        stringAt[&key] = pos;
        pos += 2 + 2 * static_cast<std::uint64_t>(key.name.size());
    };
    for (const ResourceType& type : tree.types) placeString(type.key);
    for (const ResourceName* name : names) placeString(name->key);
    for (const ResourceLeaf* leaf : leaves) placeString(leaf->language);
    pos = AlignUp(pos, 4);
    for (const ResourceLeaf* leaf : leaves) {
        entryAt[leaf] = pos;
        pos += 16;
    }
    for (const ResourceLeaf* leaf : leaves) {
        if (leaf == external) continue;
        pos = AlignUp(pos, 8);
        dataAt[leaf] = pos;
        pos += leaf->data.size();
    }
    pos = AlignUp(pos, 8);
    externalOffset = pos;
    Checked32(sectionRva + pos + externalSize, "the resource section");

    std::vector<std::uint8_t> out(static_cast<std::size_t>(pos), 0);
    auto writeKey = [&](std::uint8_t* entry, const ResourceKey& key) {
        if (!key.IsName()) {
            Put32(entry, key.id);
            return;
        }
        const std::uint64_t at = stringAt.at(&key);
        Put32(entry, kResourceHighBit | static_cast<std::uint32_t>(at));
        Put16(out.data() + at, static_cast<std::uint16_t>(key.name.size()));
        for (std::size_t i = 0; i < key.name.size(); ++i) Put16(out.data() + at + 2 + 2 * i, key.name[i]);
    };
    auto writeDir = [&](std::uint64_t at, const ResourceDirectoryInfo& info, const auto& children, auto&& writeChild) {
        std::uint8_t* p = out.data() + at;
        Put32(p, info.characteristics);
        Put32(p + 4, info.timeDateStamp);
        Put16(p + 8, info.majorVersion);
        Put16(p + 10, info.minorVersion);
        const std::uint32_t named = NamedCount(children);
        Put16(p + 12, static_cast<std::uint16_t>(named));
        Put16(p + 14, static_cast<std::uint16_t>(children.size() - named));
        for (std::size_t i = 0; i < children.size(); ++i) writeChild(p + 16 + 8 * i, children[i]);
    };
    writeDir(0, tree.info, tree.types, [&](std::uint8_t* e, const ResourceType& type) {
        writeKey(e, type.key);
        Put32(e + 4, kResourceHighBit | static_cast<std::uint32_t>(dirAt.at(&type)));
        writeDir(dirAt.at(&type), type.info, type.names, [&](std::uint8_t* ne, const ResourceName& name) {
            writeKey(ne, name.key);
            Put32(ne + 4, kResourceHighBit | static_cast<std::uint32_t>(dirAt.at(&name)));
            writeDir(dirAt.at(&name), name.info, name.languages, [&](std::uint8_t* le, const ResourceLeaf& leaf) {
                writeKey(le, leaf.language);
                const std::uint64_t entry = entryAt.at(&leaf);
                Put32(le + 4, static_cast<std::uint32_t>(entry));
                const bool isExternal = &leaf == external;
                const std::uint64_t at = isExternal ? externalOffset : dataAt.at(&leaf);
                std::uint8_t* de = out.data() + entry;
                Put32(de, static_cast<std::uint32_t>(sectionRva + at));
                Put32(de + 4, Checked32(isExternal ? externalSize : leaf.data.size(), "a resource"));
                Put32(de + 8, leaf.codePage);
                if (!isExternal && !leaf.data.empty()) std::memcpy(out.data() + at, leaf.data.data(), leaf.data.size());
            });
        });
    });
    return out;
}

}  // namespace zel
