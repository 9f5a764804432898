// Reading the machine type and the export name table of a PE image straight
// from its bytes, without loading it. Portable: the installer reads files with
// it, the native tests and the fuzzer read buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <span>

namespace zel {

inline constexpr std::uint16_t kPeMachineI386 = 0x014C;
inline constexpr std::uint16_t kPeMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kPeMachineArm64 = 0xAA64;

// Random access to the bytes of an image. ReadAt copies what lies at offset
// into out and returns how many bytes it copied (fewer at the end of the data).
class ImageSource {
public:
    virtual ~ImageSource() = default;
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

class BufferImageSource final : public ImageSource {
public:
    explicit BufferImageSource(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::span<const std::uint8_t> bytes_;
};

// Over a stream opened in binary mode; the stream's state is cleared after each read.
class StreamImageSource final : public ImageSource {
public:
    explicit StreamImageSource(std::istream& in) noexcept : in_(in) {}
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::istream& in_;
};

// The file header's Machine field. False when the DOS header, e_lfanew or the
// "PE\0\0" signature is missing or wrong, or the file header is cut short.
bool ReadPeMachine(ImageSource& image, std::uint16_t& machine);
bool ReadPeMachine(const std::filesystem::path& file, std::uint16_t& machine);

// The export name table lists "DllRegisterServer" (exact bytes). False for
// anything that cannot be read as an image with an export directory.
bool HasDllRegisterServerExport(ImageSource& image);
bool HasDllRegisterServerExport(const std::filesystem::path& file);

// Which system folder an image belongs in.
enum class SystemFolderKind { Native, ThirtyTwoBit, Unsupported };

// readable: ReadPeMachine succeeded. An image that cannot be read goes to the
// 32-bit folder; i386 to the 32-bit folder; AMD64 and ARM64 to the native one.
SystemFolderKind SystemFolderForImage(bool readable, std::uint16_t machine);

}  // namespace zel
