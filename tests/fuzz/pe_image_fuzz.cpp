// Feeds arbitrary bytes to the PE header and export-table reader: it must
// neither crash, read out of bounds nor hang on any input, and its two answers
// must agree (an image with a readable export table has a readable machine).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "install/system_folder/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zel::BufferImageSource image(std::span<const std::uint8_t>(data, size));
    std::uint16_t machine = 0;
    const bool readable = zel::ReadPeMachine(image, machine);
    const bool exported = zel::HasDllRegisterServerExport(image);
    if (exported && !readable) std::abort();
    (void)zel::SystemFolderForImage(readable, machine);
    return 0;
}
