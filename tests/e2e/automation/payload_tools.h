// Making setup.exe variants the builder would refuse to make: a payload archive
// written here from a list of files and embedded into the bare InstallerCore.exe
// as resource RT_RCDATA 101, or a built setup.exe with its archive damaged.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "automation/files.h"

namespace zel::e2e {

struct ArchiveFile {
    std::string name;  // UTF-8, "/" separators, as the archive stores it
    Bytes data;
};

// Every file below the product folder, named relative to it with "/" separators.
std::vector<ArchiveFile> ReadProductFolder(const std::filesystem::path& folder);

// The archive bytes for the files, in the given order.
Bytes BuildArchive(const std::vector<ArchiveFile>& files);

// Copies the stub to the output path and writes the bytes as its payload resource.
bool EmbedPayload(const std::filesystem::path& stub, const std::filesystem::path& output, const Bytes& archive,
                  std::wstring& errorText);

// The payload resource of a built setup.exe, read as a data file.
std::optional<Bytes> ReadPayloadResource(const std::filesystem::path& exe);

// Copies the setup.exe and changes the magic "ZELSETUP" of its embedded archive
// (found where the resource's bytes lie in the file) to "ZELSETUQ".
bool WriteWithCorruptMagic(const std::filesystem::path& exe, const std::filesystem::path& output,
                           std::wstring& errorText);

// Copies the setup.exe with one bit changed in the middle of the data of the
// archive entry named entryName (UTF-8, as stored), the way a damaged download
// would differ; the archive itself stays well-formed.
bool WriteWithFlippedByte(const std::filesystem::path& exe, const std::filesystem::path& output,
                          const std::string& entryName, std::wstring& errorText);

// Copies the setup.exe with the archive entry named from renamed in place to
// to (UTF-8, the same length) and the payload's directory digest made again,
// as someone changing the file on purpose would: the digests still hold.
bool WriteWithRenamedEntry(const std::filesystem::path& exe, const std::filesystem::path& output,
                           const std::string& from, const std::string& to, std::wstring& errorText);

}  // namespace zel::e2e
