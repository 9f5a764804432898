#include "builder/pe/payload_embedding.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "builder/pe/pe_bytes.h"
#include "builder/pe/pe_checksum.h"
#include "payload/payload_resource.h"
#include "util/pe_format.h"

namespace zel {
namespace {

using namespace pe;

constexpr std::uint64_t kPageSize = 0x1000;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

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

EmbedLayout PlanEmbedding(const PeStub& stub, std::uint64_t payloadSize) {
    return PlanEmbedding(stub, stub.resources(), payloadSize);
}

EmbedLayout PlanEmbedding(const PeStub& stub, ResourceTree tree, std::uint64_t payloadSize) {
    SetResource(tree, kRtRcdata, kPayloadResourceId, ResourceLeaf{});
    PutNamedEntriesFirst(tree);
    const ResourceLeaf* external = &FindResource(tree, kRtRcdata, kPayloadResourceId)->languages.front();

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
    layout.sectionHead =
        SerialiseResourceTree(tree, Checked32(sectionRva, "the image"), external, payloadSize, payloadOffset);
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
    // setup.exe writes the product's files straight from its mapped payload for
    // the whole run: started from a share or a removable drive that goes away
    // meanwhile, a read of the image would fault. These flags make the loader
    // read the whole image into the page file at start instead; from a fixed
    // disk the image is mapped as before.
    const std::uint64_t characteristics = stub.peOffset() + kNtSignatureSize + kFileCharacteristics;
    Put16(h + characteristics, static_cast<std::uint16_t>(U16(bytes, characteristics, "file header") |
                                                          kFileRemovableRunFromSwap | kFileNetRunFromSwap));
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
