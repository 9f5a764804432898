// Which payload entries are the product's files and in what order they are
// installed. The product's files are the entries below "files/"; everything else
// (setup.ini, a licence at the top) is what start-up reads. Portable.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "payload/payload_archive.h"

namespace zel {

// True for a name below the top folder "files" ("/" or "\" separated, the
// folder's name in any ASCII letter case, as Windows does not tell them apart).
bool IsProductFileEntry(std::string_view name) noexcept;

// True for a product entry whose name the install may write below the install
// folder: valid UTF-8, a plain relative path below files/ (no root, drive,
// "..", "." or empty element, see IsSafeEntryName) of names that Windows keeps
// as they are (no control character, none of <>:"|?*, no trailing dot or
// space, no device name such as CON, CONIN$, COM1 or LPT¹). The builder
// stores no other name: any other is a changed payload.
bool IsSafeProductFileName(std::string_view name);

// Index of the first product entry whose name IsSafeProductFileName refuses,
// or entries.size() when there is none.
std::size_t FirstUnsafeProductEntry(const std::vector<PayloadEntry>& entries);

// A stored name as the file system that receives it compares names: UTF-16
// code units with letters folded through Windows' upper-case table (not only
// A-Z: "Ä" and "ä" are one name), "/" and "\" alike, empty elements dropped.
std::u16string FoldedPayloadName(std::string_view name);

// True when two stored names name the same file on Windows (FoldedPayloadName).
bool SamePayloadName(std::string_view a, std::string_view b);

// What start-up writes into the temp folder: every entry outside files/ (setup.ini,
// a licence at the top), plus, once setup.ini names it, the licence when it lies
// below files/ (licenceName non-empty).
// Indices into entries, in entry order.
std::vector<std::size_t> StartupEntries(const std::vector<PayloadEntry>& entries, std::string_view licenceName = {});

struct PayloadFile {
    std::size_t entry = 0;  // index into the entry list
    std::wstring relative;  // below files\, "\" separated
};

// The product's files in the order a walk of the extracted files folder gives on
// Windows: the items of each folder by name, compared as NTFS orders them
// (UTF-16 code units folded through the upper-case table), a folder's content
// right after the folder itself. Names the file system takes for one (they
// differ only in letter case, "Ä.txt" and "ä.txt" too) count as one file, with
// the spelling and data of the last entry, as writing them one after the other
// would leave it. Entries whose
// names IsSafeProductFileName refuses are left out: no file of the walk lies
// outside the files folder.
std::vector<PayloadFile> ProductFilesInWalkOrder(const std::vector<PayloadEntry>& entries);

}  // namespace zel
