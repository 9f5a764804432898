// libFuzzer target: the stub parser and the resource writer on arbitrary bytes.
// Whatever parses must also survive embedding a small payload.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "builder/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
