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

// True when two stored names name the same file (ASCII letter case and the
// separators "/" and "\" are not told apart, as on the file system that
// receives the entries).
bool SamePayloadName(std::string_view a, std::string_view b) noexcept;

// What start-up writes into the temp folder: every entry outside files/ (setup.ini,
// a licence at the top), plus, once setup.ini names it, the licence when it lies
// below files/ (licenceName non-empty).
std::vector<PayloadEntry> StartupEntries(const std::vector<PayloadEntry>& entries, std::string_view licenceName = {});

struct PayloadFile {
    std::size_t entry = 0;  // index into the entry list
    std::wstring relative;  // below files\, "\" separated
};

// The product's files in the order a walk of the extracted files folder gives on
// Windows: the items of each folder by name, compared as NTFS orders them (code
// units, ASCII letters without regard to case), a folder's content right after
// the folder itself. A name stored more than once counts once, with the data of
// its last entry, as extracting them in turn would leave it.
std::vector<PayloadFile> ProductFilesInWalkOrder(const std::vector<PayloadEntry>& entries);

}  // namespace zel
