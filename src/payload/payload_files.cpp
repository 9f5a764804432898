#include "payload/payload_files.h"

#include <algorithm>
#include <map>

#include "util/unicode.h"

namespace zel {
namespace {

constexpr std::string_view kFilesFolder = "files";

bool IsSeparator(char c) noexcept { return c == '/' || c == '\\'; }

wchar_t UpperAscii(wchar_t c) noexcept { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

// A name's path elements, each as stored and as compared.
struct Elements {
    std::vector<std::wstring> spelt;
    std::vector<std::wstring> key;
};

Elements Split(std::wstring_view path) {
    Elements elements;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(L"/\\", start);
        if (end == std::wstring_view::npos) end = path.size();
        if (end > start) {
            std::wstring element(path.substr(start, end - start));
            std::wstring key = element;
            std::transform(key.begin(), key.end(), key.begin(), UpperAscii);
            elements.spelt.push_back(std::move(element));
            elements.key.push_back(std::move(key));
        }
        start = end + 1;
    }
    return elements;
}

}  // namespace

bool SamePayloadName(std::string_view a, std::string_view b) noexcept {
    auto fold = [](char c) { return c == '\\' ? '/' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

std::vector<PayloadEntry> StartupEntries(const std::vector<PayloadEntry>& entries, std::string_view licenceName) {
    std::vector<PayloadEntry> startup;
    for (const PayloadEntry& entry : entries) {
        const bool product = IsProductFileEntry(entry.name);
        if (licenceName.empty() ? !product : (product && SamePayloadName(entry.name, licenceName))) {
            startup.push_back(entry);
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
    std::map<std::vector<std::wstring>, PayloadFile> byKey;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!IsProductFileEntry(entries[i].name)) continue;
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
