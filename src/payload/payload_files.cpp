#include "payload/payload_files.h"

#include <algorithm>
#include <map>

#include "util/file_names.h"
#include "util/unicode.h"
#include "util/upper_case.h"

namespace zel {
namespace {

constexpr std::string_view kFilesFolder = "files";

bool IsSeparator(char c) noexcept { return c == '/' || c == '\\'; }

// A name's path elements, each as stored and as compared.
struct Elements {
    std::vector<std::wstring> spelt;
    std::vector<std::u16string> key;
};

Elements Split(std::wstring_view path) {
    Elements elements;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(L"/\\", start);
        if (end == std::wstring_view::npos) end = path.size();
        if (end > start) {
            std::wstring element(path.substr(start, end - start));
            elements.key.push_back(FoldedForComparison(element));
            elements.spelt.push_back(std::move(element));
        }
        start = end + 1;
    }
    return elements;
}

}  // namespace

bool IsSafeProductFileName(std::string_view name) {
    if (!IsProductFileEntry(name) || !IsSafeEntryName(name)) return false;
    std::wstring decoded;
    if (!Utf8ToWideStrict(name, decoded)) return false;
    // IsSafeEntryName leaves no empty element.
    const std::wstring_view path(decoded);
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(L"/\\", start);
        if (end == std::wstring_view::npos) end = path.size();
        if (end == start || IsNameWindowsAlters(path.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

std::size_t FirstUnsafeProductEntry(const std::vector<PayloadEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (IsProductFileEntry(entries[i].name) && !IsSafeProductFileName(entries[i].name)) return i;
    }
    return entries.size();
}

std::u16string FoldedPayloadName(std::string_view name) {
    std::u16string folded;
    for (const std::u16string& element : Split(Utf8ToWide(name)).key) {
        if (!folded.empty()) folded.push_back(u'/');
        folded += element;
    }
    return folded;
}

bool SamePayloadName(std::string_view a, std::string_view b) { return FoldedPayloadName(a) == FoldedPayloadName(b); }

std::vector<std::size_t> StartupEntries(const std::vector<PayloadEntry>& entries, std::string_view licenceName) {
    std::vector<std::size_t> startup;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool product = IsProductFileEntry(entries[i].name);
        if (licenceName.empty() ? !product : (product && SamePayloadName(entries[i].name, licenceName))) {
            startup.push_back(i);
        }
    }
    return startup;
}

bool IsProductFileEntry(std::string_view name) noexcept {
    if (name.size() <= kFilesFolder.size() || !IsSeparator(name[kFilesFolder.size()])) return false;
    for (std::size_t i = 0; i < kFilesFolder.size(); ++i) {
        const char c = (name[i] >= 'A' && name[i] <= 'Z') ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
        if (c != kFilesFolder[i]) return false;
    }
    return true;
}

std::vector<PayloadFile> ProductFilesInWalkOrder(const std::vector<PayloadEntry>& entries) {
    // Comparing the element lists lexicographically puts a folder's content right
    // after the folder and before its next sibling: the order of a depth-first walk.
    std::map<std::vector<std::u16string>, PayloadFile> byKey;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!IsSafeProductFileName(entries[i].name)) continue;
        Elements elements = Split(Utf8ToWide(std::string_view(entries[i].name).substr(kFilesFolder.size() + 1)));
        if (elements.key.empty()) continue;
        std::wstring relative;
        for (const std::wstring& element : elements.spelt) {
            if (!relative.empty()) relative.push_back(L'\\');
            relative += element;
        }
        byKey[std::move(elements.key)] = PayloadFile{i, std::move(relative)};
    }
    std::vector<PayloadFile> files;
    files.reserve(byKey.size());
    for (auto& [key, file] : byKey) files.push_back(std::move(file));
    return files;
}

}  // namespace zel
