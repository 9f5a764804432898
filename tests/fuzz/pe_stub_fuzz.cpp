// libFuzzer target: the stub parser and the resource writer on arbitrary bytes.
// Whatever parses must also survive embedding a small payload. The readers that
// --list and --icon use (a built image, its version resource, an .ico file)
// must refuse bad bytes without faulting.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "builder/pe/icon_resource.h"
#include "builder/pe/payload_embedding.h"
#include "builder/pe/pe_stub.h"
#include "builder/pe/version_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    (void)zel::ReadVersionStrings(bytes);
    try {
        (void)zel::ParseIconFile(bytes);
    } catch (const std::runtime_error&) {
    }
    try {
        const zel::PeStub image(std::vector<std::uint8_t>(data, data + size), zel::PeStub::kInspect);
        for (const zel::ResourceType& type : image.resources().types) {
            for (const zel::ResourceName& name : type.names) {
                for (const zel::ResourceLeaf& leaf : name.languages) (void)zel::ReadVersionStrings(leaf.data);
            }
        }
    } catch (const std::runtime_error&) {
    }
    try {
        const zel::PeStub stub(std::vector<std::uint8_t>(data, data + size));
        static constexpr std::uint8_t kPayload[] = {'Z', 'E', 'L', 'S', 'E', 'T', 'U', 'P', 1, 0, 0, 0, 0, 0, 0, 0};
        const std::vector<std::uint8_t> out = zel::EmbedPayload(stub, kPayload);
        // The result must parse again and carry the payload.
        const zel::PeStub again(out);
        (void)again;
    } catch (const std::runtime_error&) {
    }
    return 0;
}
