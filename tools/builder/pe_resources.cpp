#include "builder/pe_resources.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include "util/byte_reader.h"
#include "util/pe_format.h"

namespace zel {
namespace {

using namespace pe;

constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::uint64_t kPageSize = 0x1000;
// Limits for reading a stub's resource tree: far above a real program's, low
// enough that a hostile tree (directories shared many times over) cannot make
// the reader copy gigabytes.
constexpr std::size_t kMaxResourceLeaves = 65536;
constexpr std::uint64_t kMaxResourceBytes = 256ull << 20;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// Little-endian reads through the bounds-checked reader that throw when the
// field lies beyond the bytes.
template <typename T>
T ReadField(std::span<const std::uint8_t> b, std::uint64_t at, const char* what) {
    ByteReader reader(b);
    T value = 0;
    bool read = at <= b.size() && reader.seek(static_cast<std::size_t>(at));
    if constexpr (sizeof(T) == 2) {
        read = read && reader.readU16(value);
    } else {
        read = read && reader.readU32(value);
    }
    if (!read) Fail(std::string("truncated ") + what);
    return value;
}

std::uint16_t U16(std::span<const std::uint8_t> b, std::uint64_t at, const char* what) {
    return ReadField<std::uint16_t>(b, at, what);
}

std::uint32_t U32(std::span<const std::uint8_t> b, std::uint64_t at, const char* what) {
    return ReadField<std::uint32_t>(b, at, what);
}

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Checked32(std::uint64_t value, const char* what) {
    if (value > 0xFFFFFFFFull) Fail(std::string(what) + " does not fit a PE image (over 4 GiB)");
    return static_cast<std::uint32_t>(value);
}

std::string SectionName(const PeSection& section) {
    return std::string(section.name, strnlen(section.name, sizeof(section.name)));
}

// Reads the resource directory tree from the resource section's bytes (offsets
// in the tree are relative to their start).
class ResourceReader {
public:
    ResourceReader(std::span<const std::uint8_t> rsrc,
                   std::function<std::span<const std::uint8_t>(std::uint32_t, std::uint32_t)> dataAt)
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
            if (nameField & kHighBit) {
                entry.key.name = ReadName(nameField & ~kHighBit);
            } else {
                entry.key.id = nameField;
            }
            entry.isDirectory = (dataField & kHighBit) != 0;
            entry.target = dataField & ~kHighBit;
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
    std::function<std::span<const std::uint8_t>(std::uint32_t, std::uint32_t)> dataAt_;
    std::size_t leafCount_ = 0;
    std::uint64_t totalBytes_ = 0;
};

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

// Serialises a tree whose named entries come first in every directory. Layout:
// all directory tables (root, types, names), the name strings, the data
// entries, then the data, each block at an 8-byte boundary. The external leaf's
// data is not included: it is placed last, at externalOffset, with
// externalSize bytes that the caller writes after the returned bytes.
std::vector<std::uint8_t> SerialiseTree(const ResourceTree& tree, std::uint32_t sectionRva,
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
        Put32(entry, kHighBit | static_cast<std::uint32_t>(at));
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
        Put32(e + 4, kHighBit | static_cast<std::uint32_t>(dirAt.at(&type)));
        writeDir(dirAt.at(&type), type.info, type.names, [&](std::uint8_t* ne, const ResourceName& name) {
            writeKey(ne, name.key);
            Put32(ne + 4, kHighBit | static_cast<std::uint32_t>(dirAt.at(&name)));
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

class VectorSink : public ByteSink {
public:
    explicit VectorSink(std::vector<std::uint8_t>& out) : out_(out) {}
    void Write(std::span<const std::uint8_t> bytes) override { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

private:
    std::vector<std::uint8_t>& out_;
};

class ChecksumSink : public ByteSink {
public:
    explicit ChecksumSink(ByteSink& out) : out_(out) {}
    void Write(std::span<const std::uint8_t> bytes) override {
        checksum_.Update(bytes);
        out_.Write(bytes);
        count_ += bytes.size();
    }
    std::uint64_t count() const { return count_; }
    std::uint32_t Finish() const { return checksum_.Finish(); }

private:
    ByteSink& out_;
    PeChecksum checksum_;
    std::uint64_t count_ = 0;
};

}  // namespace

PeStub::PeStub(std::vector<std::uint8_t> bytes, Use use) : bytes_(std::move(bytes)) {
    ParseHeaders(use);
    ParseResources();
}

std::pair<std::uint32_t, std::uint32_t> PeStub::DataDirectory(std::uint32_t index) const {
    if (index >= numberOfRvaAndSizes_) return {0, 0};
    const std::uint64_t at = optionalHeaderOffset() + kOpt64DataDirectories + kDataDirectorySize * index;
    return {U32(bytes_, at, "data directory"), U32(bytes_, at + 4, "data directory")};
}

void PeStub::ParseHeaders(Use use) {
    const std::span<const std::uint8_t> b = bytes_;
    if (b.size() < kDosHeaderSize || U16(b, 0, "DOS header") != kDosMagic) {
        Fail("not a Windows executable (no MZ header)");
    }
    peOffset_ = U32(b, kDosNtHeaderOffsetField, "DOS header");
    if (U32(b, peOffset_, "PE header") != kNtSignature) Fail("not a PE executable (no PE signature)");
    const std::uint64_t file = std::uint64_t{peOffset_} + kNtSignatureSize;
    const std::uint16_t sectionCount = U16(b, file + kFileNumberOfSections, "COFF header");
    const std::uint32_t symbolTable = U32(b, file + kFilePointerToSymbolTable, "COFF header");
    const std::uint32_t symbolCount = U32(b, file + kFileNumberOfSymbols, "COFF header");
    const std::uint16_t optionalSize = U16(b, file + kFileSizeOfOptionalHeader, "COFF header");
    const std::uint64_t opt = optionalHeaderOffset();
    if (U16(b, opt, "optional header") != kMagicPe32Plus) Fail("not a 64-bit (PE32+) executable");
    if (optionalSize < kOpt64DataDirectories) Fail("optional header too small");
    sectionAlignment_ = U32(b, opt + kOptSectionAlignment, "optional header");
    fileAlignment_ = U32(b, opt + kOptFileAlignment, "optional header");
    sizeOfImage_ = U32(b, opt + kOptSizeOfImage, "optional header");
    sizeOfHeaders_ = U32(b, opt + kOptSizeOfHeaders, "optional header");
    numberOfRvaAndSizes_ = std::min<std::uint32_t>(
        U32(b, opt + kOpt64NumberOfRvaAndSizes, "optional header"),
        static_cast<std::uint32_t>((optionalSize - kOpt64DataDirectories) / kDataDirectorySize));
    if (!IsPowerOfTwo(fileAlignment_) || fileAlignment_ > 0x10000 || !IsPowerOfTwo(sectionAlignment_) ||
        sectionAlignment_ < fileAlignment_) {
        Fail("invalid section or file alignment");
    }
    if (use == kExtend && (symbolTable != 0 || symbolCount != 0)) {
        Fail("it has a COFF symbol table (link it stripped, with -s)");
    }
    const auto security = DataDirectory(kDirSecurity);
    if (use == kExtend && (security.first != 0 || security.second != 0)) {
        Fail("it is signed (has a certificate table); embed the payload into the unsigned program and sign the result");
    }
    if (numberOfRvaAndSizes_ <= kDirResource) Fail("it has no resource data directory entry");

    sectionTableOffset_ = static_cast<std::uint32_t>(opt + optionalSize);
    if (sectionCount == 0) Fail("it has no sections");
    if (static_cast<std::uint64_t>(sectionTableOffset_) + kSectionHeaderSize * sectionCount > sizeOfHeaders_ ||
        sizeOfHeaders_ > b.size()) {
        Fail("section table lies outside the headers");
    }
    rawEnd_ = sizeOfHeaders_;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = sectionTableOffset_ + static_cast<std::uint64_t>(kSectionHeaderSize) * i;
        PeSection s;
        std::memcpy(s.name, b.data() + at, sizeof(s.name));
        s.virtualSize = U32(b, at + kSectionVirtualSize, "section header");
        s.virtualAddress = U32(b, at + kSectionVirtualAddress, "section header");
        s.sizeOfRawData = U32(b, at + kSectionSizeOfRawData, "section header");
        s.pointerToRawData = U32(b, at + kSectionPointerToRawData, "section header");
        s.characteristics = U32(b, at + kSectionCharacteristics, "section header");
        if (s.sizeOfRawData != 0) {
            const std::uint64_t end = static_cast<std::uint64_t>(s.pointerToRawData) + s.sizeOfRawData;
            if (end > b.size()) Fail("section " + SectionName(s) + " lies beyond the end of the file");
            rawEnd_ = std::max(rawEnd_, end);
        }
        sections_.push_back(s);
    }
    if (use == kExtend && b.size() > rawEnd_) {
        Fail("it has " + std::to_string(b.size() - rawEnd_) +
             " bytes after its last section (appended data or a signature); use the program as linked");
    }
}

bool PeStub::RvaToOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t& offset) const {
    for (const PeSection& s : sections_) {
        // Bytes beyond the virtual size are in the file but not mapped.
        const std::uint32_t extent = s.virtualSize != 0 ? std::min(s.virtualSize, s.sizeOfRawData) : s.sizeOfRawData;
        if (rva < s.virtualAddress) continue;
        const std::uint64_t delta = rva - s.virtualAddress;
        if (delta > extent || size > extent - delta) continue;
        offset = s.pointerToRawData + delta;
        return true;
    }
    return false;
}

void PeStub::ParseResources() {
    const auto [rva, size] = DataDirectory(kDirResource);
    if (rva == 0) return;
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const PeSection& s = sections_[i];
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.sizeOfRawData) resourceSection_ = static_cast<int>(i);
    }
    if (resourceSection_ < 0) Fail("resource directory lies outside every section");
    const PeSection& s = sections_[static_cast<std::size_t>(resourceSection_)];
    const std::uint64_t start = s.pointerToRawData + static_cast<std::uint64_t>(rva - s.virtualAddress);
    const std::uint64_t end = static_cast<std::uint64_t>(s.pointerToRawData) + s.sizeOfRawData;
    const std::span<const std::uint8_t> rsrc(bytes_.data() + start, static_cast<std::size_t>(end - start));
    ResourceReader reader(rsrc, [this](std::uint32_t dataRva, std::uint32_t dataSize) {
        std::uint64_t offset = 0;
        if (!RvaToOffset(dataRva, dataSize, offset)) Fail("resource data lies outside the sections");
        return std::span<const std::uint8_t>(bytes_.data() + offset, dataSize);
    });
    resources_ = reader.Read();
}

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

EmbedLayout PlanEmbedding(const PeStub& stub, std::uint64_t payloadSize) {
    return PlanEmbedding(stub, stub.resources(), payloadSize);
}

EmbedLayout PlanEmbedding(const PeStub& stub, ResourceTree tree, std::uint64_t payloadSize) {
    SetResource(tree, kRtRcdata, kPayloadResourceId, ResourceLeaf{});
    NamedFirst(tree.types);
    for (ResourceType& type : tree.types) {
        NamedFirst(type.names);
        for (ResourceName& name : type.names) NamedFirst(name.languages);
    }
    const ResourceLeaf* external =
        &FindOrInsertId(FindOrInsertId(tree.types, kRtRcdata).names, kPayloadResourceId).languages.front();

    const std::vector<PeSection>& sections = stub.sections();
    const std::vector<std::uint8_t>& bytes = stub.bytes();
    std::uint64_t vaEnd = 0;
    std::size_t lastByVa = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const PeSection& s = sections[i];
        vaEnd = std::max<std::uint64_t>(
            vaEnd, static_cast<std::uint64_t>(s.virtualAddress) + std::max(s.virtualSize, s.sizeOfRawData));
        if (s.virtualAddress >= sections[lastByVa].virtualAddress) lastByVa = i;
    }

    // The resource section can be rewritten in place when nothing follows it,
    // neither in the image nor in the file, and nothing else points into it.
    bool inPlace = false;
    if (stub.resourceSection() >= 0) {
        const std::size_t index = static_cast<std::size_t>(stub.resourceSection());
        const PeSection& s = sections[index];
        inPlace = index == lastByVa && stub.DataDirectory(kDirResource).first == s.virtualAddress &&
                  s.sizeOfRawData != 0 &&
                  static_cast<std::uint64_t>(s.pointerToRawData) + s.sizeOfRawData == stub.rawEnd();
        const std::uint64_t sEnd =
            static_cast<std::uint64_t>(s.virtualAddress) + std::max(s.virtualSize, s.sizeOfRawData);
        for (std::uint32_t d = 0; inPlace && d < stub.numberOfRvaAndSizes(); ++d) {
            const auto [rva, size] = stub.DataDirectory(d);
            if (d == kDirResource || rva == 0) continue;
            if (rva<sEnd&& static_cast<std::uint64_t>(rva) + size> s.virtualAddress) inPlace = false;
        }
    }

    EmbedLayout layout;
    layout.payloadSize = payloadSize;
    layout.appendedSection = !inPlace;
    const PeSection* target = inPlace ? &sections[static_cast<std::size_t>(stub.resourceSection())] : nullptr;
    const std::uint64_t sectionRva = inPlace ? target->virtualAddress
                                             : std::max(AlignUp(vaEnd, stub.sectionAlignment()),
                                                        AlignUp(stub.sizeOfImage(), stub.sectionAlignment()));
    // An appended section starts on a page boundary of the file as well, so that a
    // loader can map the payload straight from the file instead of reading it in.
    const std::uint64_t fileOffset =
        inPlace ? target->pointerToRawData
                : AlignUp(stub.rawEnd(), std::max<std::uint64_t>(stub.fileAlignment(), kPageSize));
    std::uint64_t payloadOffset = 0;
    layout.sectionHead = SerialiseTree(tree, Checked32(sectionRva, "the image"), external, payloadSize, payloadOffset);
    const std::uint64_t contentSize = payloadOffset + payloadSize;
    const std::uint64_t rawSize = AlignUp(contentSize, stub.fileAlignment());
    layout.padding = rawSize - contentSize;
    layout.imageSize = AlignUp(sectionRva + contentSize, stub.sectionAlignment());
    layout.fileSize = fileOffset + rawSize;
    Checked32(layout.imageSize, "the image");
    Checked32(layout.fileSize, "the file");

    const std::uint64_t copied = inPlace ? fileOffset : stub.rawEnd();
    layout.head.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(copied));
    layout.head.resize(static_cast<std::size_t>(fileOffset), 0);
    std::uint8_t* h = layout.head.data();
    const std::uint64_t opt = stub.optionalHeaderOffset();
    std::uint32_t initialized = U32(bytes, opt + kOptSizeOfInitializedData, "optional header");

    std::uint8_t* header = nullptr;
    if (inPlace) {
        header =
            h + stub.sectionTableOffset() + kSectionHeaderSize * static_cast<std::uint64_t>(stub.resourceSection());
        if (target->characteristics & kScnInitializedData) {
            initialized = initialized - target->sizeOfRawData + static_cast<std::uint32_t>(rawSize);
        }
    } else {
        const std::uint64_t at =
            stub.sectionTableOffset() + kSectionHeaderSize * static_cast<std::uint64_t>(sections.size());
        std::uint64_t firstRaw = stub.sizeOfHeaders();
        for (const PeSection& s : sections) {
            if (s.sizeOfRawData != 0) firstRaw = std::min<std::uint64_t>(firstRaw, s.pointerToRawData);
        }
        if (at + kSectionHeaderSize > firstRaw ||
            std::any_of(h + at, h + at + kSectionHeaderSize, [](std::uint8_t c) { return c != 0; })) {
            Fail("it has no room for another section header");
        }
        if (sections.size() >= 96) Fail("it has too many sections");
        header = h + at;
        std::memcpy(header, ".rsrc\0\0\0", 8);
        Put32(header + kSectionVirtualAddress, static_cast<std::uint32_t>(sectionRva));
        Put32(header + kSectionPointerToRawData, static_cast<std::uint32_t>(fileOffset));
        Put32(header + kSectionCharacteristics, kScnInitializedData | kScnMemRead);
        Put16(h + stub.peOffset() + kNtSignatureSize + kFileNumberOfSections,
              static_cast<std::uint16_t>(sections.size() + 1));
        initialized += static_cast<std::uint32_t>(rawSize);
    }
    Put32(header + kSectionVirtualSize, static_cast<std::uint32_t>(contentSize));
    Put32(header + kSectionSizeOfRawData, static_cast<std::uint32_t>(rawSize));
    Put32(h + opt + kOptSizeOfInitializedData, initialized);
    Put32(h + opt + kOptSizeOfImage, static_cast<std::uint32_t>(layout.imageSize));
    Put32(h + opt + kOptCheckSum, 0);
    const std::uint64_t resourceDirectory = opt + kOpt64DataDirectories + kDataDirectorySize * kDirResource;
    Put32(h + resourceDirectory, static_cast<std::uint32_t>(sectionRva));
    Put32(h + resourceDirectory + 4, static_cast<std::uint32_t>(contentSize));
    layout.checksumOffset = opt + kOptCheckSum;
    return layout;
}

void PeChecksum::Update(std::span<const std::uint8_t> bytes) {
    length_ += bytes.size();
    std::size_t i = 0;
    if (pendingCount_ != 0) {
        // Complete the word a previous piece left unfinished.
        i = std::min(sizeof(pending_) - pendingCount_, bytes.size());
        std::memcpy(pending_ + pendingCount_, bytes.data(), i);
        pendingCount_ += i;
        if (pendingCount_ < sizeof(pending_)) return;
        AddWord(U32(pending_, 0, ""));
        pendingCount_ = 0;
    }
    const std::uint8_t* p = bytes.data() + i;
    const std::size_t words = (bytes.size() - i) / 4;
    std::uint64_t sum = 0;
    for (std::size_t w = 0; w < words; ++w) {
        std::uint32_t word;
        std::memcpy(&word, p + 4 * w, 4);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
        sum += word;
    }
    sum_ += sum;
    i += 4 * words;
    pendingCount_ = bytes.size() - i;
    std::memcpy(pending_, bytes.data() + i, pendingCount_);
}

std::uint32_t PeChecksum::Finish() const {
    std::uint64_t sum = sum_;
    if (pendingCount_ != 0) {
        std::uint8_t last[4] = {};
        std::memcpy(last, pending_, pendingCount_);
        sum += U32(last, 0, "");
    }
    // Summing 32-bit words and folding gives the same one's-complement sum as
    // summing 16-bit words, since 2^16 = 1 modulo 2^16 - 1.
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + length_);
}

std::uint32_t WriteEmbeddedImage(const EmbedLayout& layout, ByteSink& out,
                                 const std::function<void(ByteSink&)>& writePayload) {
    ChecksumSink sink(out);
    sink.Write(layout.head);
    sink.Write(layout.sectionHead);
    const std::uint64_t before = sink.count();
    writePayload(sink);
    if (sink.count() - before != layout.payloadSize) Fail("the payload changed size while it was written");
    static constexpr std::uint8_t kZeros[512] = {};
    for (std::uint64_t left = layout.padding; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof(kZeros)));
        sink.Write({kZeros, n});
        left -= n;
    }
    return sink.Finish();
}

std::vector<std::uint8_t> EmbedPayload(const PeStub& stub, std::span<const std::uint8_t> payload) {
    return EmbedPayload(stub, stub.resources(), payload);
}

std::vector<std::uint8_t> EmbedPayload(const PeStub& stub, ResourceTree resources,
                                       std::span<const std::uint8_t> payload) {
    const EmbedLayout layout = PlanEmbedding(stub, std::move(resources), payload.size());
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(layout.fileSize));
    VectorSink sink(out);
    const std::uint32_t checksum = WriteEmbeddedImage(layout, sink, [&](ByteSink& s) { s.Write(payload); });
    Put32(out.data() + layout.checksumOffset, checksum);
    return out;
}

}  // namespace zel
