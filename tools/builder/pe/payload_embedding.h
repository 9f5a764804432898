// Writing a stub again with one more resource, the payload, whose bytes are
// streamed from elsewhere: the layout of the output is planned completely
// (resource section rebuilt in place or appended, headers patched, sizes
// checked) before a byte is written, so that a payload that cannot be added is
// refused up front, and the payload never has to be held in memory. Portable:
// no Win32 resource-update API, so it runs on Linux as well.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "builder/pe/pe_stub.h"
#include "builder/pe/resource_tree.h"

namespace zel {

// The largest SizeOfImage written. Windows refuses images of 2 GB and more, and
// loading is reported to fail from about 1.8 GB; 1.5 GiB keeps a wide margin.
inline constexpr std::uint64_t kMaxImageSize = 1536ull << 20;

// Everything needed to write the stub with the payload as RT_RCDATA 101,
// computed before a byte is written. The output is, in order: head,
// sectionHead, the payload's bytes, padding zero bytes.
struct EmbedLayout {
    std::vector<std::uint8_t> head;         // headers and sections before the resource section, patched
    std::vector<std::uint8_t> sectionHead;  // resource directory and the other resources' data
    std::uint64_t payloadSize = 0;
    std::uint64_t padding = 0;  // up to the file alignment
    std::uint64_t fileSize = 0;
    std::uint64_t imageSize = 0;       // the new SizeOfImage
    std::uint64_t checksumOffset = 0;  // where the checksum goes once the file is written
    bool appendedSection = false;      // true when a new section was added
};

// Rebuilds the resource section with the given resources (usually the stub's,
// edited) and a payload resource of payloadSize bytes placed last, as RT_RCDATA
// 101. The section is rewritten in place when it is the last one; otherwise a new
// section is appended and the resource data directory points to it. Throws
// std::runtime_error when the result cannot be represented (no room for a
// section header, sizes beyond 32 bits).
EmbedLayout PlanEmbedding(const PeStub& stub, ResourceTree resources, std::uint64_t payloadSize);
// The same with the stub's own resources unchanged.
EmbedLayout PlanEmbedding(const PeStub& stub, std::uint64_t payloadSize);

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
};

// Writes the layout to out; writePayload must write exactly layout.payloadSize
// bytes to the sink it is given. Returns the checksum, which the caller stores
// as 4 little-endian bytes at layout.checksumOffset (written as zero here).
std::uint32_t WriteEmbeddedImage(const EmbedLayout& layout, ByteSink& out,
                                 const std::function<void(ByteSink&)>& writePayload);

// The whole output in memory, checksum stored; for small payloads and tests.
std::vector<std::uint8_t> EmbedPayload(const PeStub& stub, std::span<const std::uint8_t> payload);
std::vector<std::uint8_t> EmbedPayload(const PeStub& stub, ResourceTree resources,
                                       std::span<const std::uint8_t> payload);

}  // namespace zel
