// The plainest way to put on disk the bytes an install writes: map the payload
// resource of a setup.exe once, write each archive entry with one WriteFile, then
// copy setup.exe itself as Uninstall.exe, as the install does (so every payload
// byte is written twice here too). A floor for the install benchmark. With
// --create-only every entry's file is only created, empty, and nothing else is
// written: what creating that many files costs on its own.
//   floor_extract.exe <setup.exe> <output-folder> [--create-only]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "payload/payload_archive.h"

int wmain(int argc, wchar_t** argv) {
    const bool createOnly = argc == 4 && std::wstring(argv[3]) == L"--create-only";
    if (argc != 3 && !createOnly) {
        std::fwprintf(stderr, L"usage: floor_extract <setup.exe> <output-folder> [--create-only]\n");
        return 2;
    }
    HMODULE module = ::LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC info = module ? ::FindResourceW(module, MAKEINTRESOURCEW(101), RT_RCDATA) : nullptr;
    HGLOBAL loaded = info ? ::LoadResource(module, info) : nullptr;
    const auto* data = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    if (!data) return 1;
    const DWORD size = ::SizeofResource(module, info);
    zel::PayloadArchive archive;
    if (!zel::ParsePayloadArchive({data, size}, archive)) return 1;
    // The floor writes stored bytes as they lie; a compressed payload has no floor here.
    if (archive.version != zel::kPayloadVersion) return 3;
    const std::vector<zel::PayloadEntry>& entries = archive.entries;

    const std::wstring root = argv[2];
    ::CreateDirectoryW(root.c_str(), nullptr);
    for (const zel::PayloadEntry& entry : entries) {
        std::wstring name(entry.name.size() * 2, L'\0');
        const int n = ::MultiByteToWideChar(CP_UTF8, 0, entry.name.data(), static_cast<int>(entry.name.size()),
                                            name.data(), static_cast<int>(name.size()));
        name.resize(n > 0 ? n : 0);
        std::wstring path = root;
        for (wchar_t c : name) {
            if (c == L'/' || c == L'\\') ::CreateDirectoryW(path.c_str(), nullptr);
            path += (c == L'/') ? L'\\' : c;
            if (path.size() == root.size() + 1) path.insert(root.size(), 1, L'\\');
        }
        HANDLE file =
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        DWORD written = 0;
        const BOOL ok = createOnly || ::WriteFile(file, data + archive.blocks[entry.block].offset,
                                                  static_cast<DWORD>(entry.size), &written, nullptr);
        ::CloseHandle(file);
        if (!ok || (!createOnly && written != entry.size)) return 1;
    }
    if (createOnly) return 0;
    return ::CopyFileW(argv[1], (root + L"\\Uninstall.exe").c_str(), FALSE) ? 0 : 1;
}
