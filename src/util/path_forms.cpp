#include "util/path_forms.h"

#include "util/ascii.h"

namespace zel {
namespace {

constexpr bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

// Length of the root name: "\\server" (two separators and a name) or a drive "X:".
std::size_t RootNameLength(std::wstring_view path) {
    if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
        std::size_t end = 2;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        return end;
    }
    if (path.size() >= 2 && path[1] == L':') return 2;
    return 0;
}

// Root name plus the separators of the root directory.
std::size_t RootLength(std::wstring_view path) {
    std::size_t length = RootNameLength(path);
    while (length < path.size() && IsSeparator(path[length])) ++length;
    return length;
}

std::wstring JoinParts(const std::wstring& rootName, bool hasRootDirectory, const std::vector<std::wstring>& names) {
    std::wstring out = ReplaceAll(rootName, L'/', L'\\');
    if (hasRootDirectory) out += L'\\';
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += L'\\';
        out += names[i];
    }
    return out;
}

}  // namespace

WindowsPathParts SplitWindowsPath(std::wstring_view path) {
    WindowsPathParts parts;
    const std::size_t rootNameLength = RootNameLength(path);
    parts.rootName.assign(path.substr(0, rootNameLength));
    std::size_t pos = rootNameLength;
    if (pos < path.size() && IsSeparator(path[pos])) parts.hasRootDirectory = true;
    while (pos < path.size()) {
        while (pos < path.size() && IsSeparator(path[pos])) ++pos;
        if (pos == path.size()) break;
        std::size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        parts.names.emplace_back(path.substr(pos, end - pos));
        pos = end;
    }
    parts.trailingSeparator = !parts.names.empty() && IsSeparator(path.back());
    return parts;
}

std::wstring LexicallyNormalPath(std::wstring_view path) {
    if (path.empty()) return {};
    const WindowsPathParts parts = SplitWindowsPath(path);
    std::vector<std::wstring> names;
    for (const std::wstring& name : parts.names) {
        if (name == L".") continue;
        if (name == L"..") {
            if (!names.empty() && names.back() != L"..") {
                names.pop_back();
                continue;
            }
            if (parts.hasRootDirectory) continue;  // nothing lies above a root directory
        }
        names.push_back(name);
    }
    if (parts.rootName.empty() && !parts.hasRootDirectory && names.empty()) return L".";
    return JoinParts(parts.rootName, parts.hasRootDirectory, names);
}

std::wstring LexicallyRelativePath(std::wstring_view path, std::wstring_view base) {
    const WindowsPathParts p = SplitWindowsPath(path);
    const WindowsPathParts b = SplitWindowsPath(base);
    if (!EqualsIgnoreAsciiCase(ReplaceAll(p.rootName, L'/', L'\\'), ReplaceAll(b.rootName, L'/', L'\\')) ||
        p.hasRootDirectory != b.hasRootDirectory) {
        return {};
    }
    std::size_t common = 0;
    while (common < p.names.size() && common < b.names.size() &&
           EqualsIgnoreAsciiCase(p.names[common], b.names[common])) {
        ++common;
    }
    long up = 0;
    for (std::size_t i = common; i < b.names.size(); ++i) {
        if (b.names[i] == L"..") {
            --up;
        } else if (b.names[i] != L".") {
            ++up;
        }
    }
    if (up < 0) return {};
    std::vector<std::wstring> names(static_cast<std::size_t>(up), L"..");
    names.insert(names.end(), p.names.begin() + static_cast<std::ptrdiff_t>(common), p.names.end());
    if (names.empty()) return L".";
    return JoinParts({}, false, names);
}

bool IsLexicallyInside(std::wstring_view folder, std::wstring_view path) {
    const std::wstring relative = LexicallyRelativePath(LexicallyNormalPath(path), LexicallyNormalPath(folder));
    return !relative.empty() && relative != L"." && !HasParentReferenceText(relative);
}

bool HasParentReferenceText(std::wstring_view path) {
    const WindowsPathParts parts = SplitWindowsPath(path);
    if (parts.rootName == L"..") return true;
    for (const std::wstring& name : parts.names) {
        if (name == L"..") return true;
    }
    return false;
}

std::wstring AppendWindowsPath(std::wstring_view base, std::wstring_view rel) {
    const std::size_t relRootName = RootNameLength(rel);
    const bool relHasRootDirectory = relRootName < rel.size() && IsSeparator(rel[relRootName]);
    const std::size_t baseRootName = RootNameLength(base);
    if (relRootName > 0 &&
        (relHasRootDirectory || !EqualsIgnoreAsciiCase(rel.substr(0, relRootName), base.substr(0, baseRootName)))) {
        return std::wstring(rel);
    }
    if (relHasRootDirectory) return std::wstring(base.substr(0, baseRootName)) + std::wstring(rel.substr(relRootName));
    std::wstring out(base);
    // A drive root name alone ("C:") takes no separator: "C:" + "x" names x in
    // the drive's current folder.
    const bool bareDrive = baseRootName == base.size() && baseRootName == 2;
    if (!out.empty() && !IsSeparator(out.back()) && !bareDrive) out += L'\\';
    out.append(rel.substr(relRootName));
    return out;
}

std::wstring WindowsPathLeaf(std::wstring_view path) {
    if (path.empty() || IsSeparator(path.back())) return {};
    const WindowsPathParts parts = SplitWindowsPath(path);
    return parts.names.empty() ? std::wstring() : parts.names.back();
}

std::wstring WindowsPathParent(std::wstring_view path) {
    const std::size_t rootLength = RootLength(path);
    std::size_t end = path.size();
    while (end > rootLength && IsSeparator(path[end - 1])) --end;
    if (end == rootLength) return std::wstring(path);
    std::size_t start = end;
    while (start > rootLength && !IsSeparator(path[start - 1])) --start;
    while (start > rootLength && IsSeparator(path[start - 1])) --start;
    return std::wstring(path.substr(0, start));
}

std::wstring StripFinalPathPrefix(std::wstring_view path) {
    constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
    constexpr std::wstring_view kGlobalRoot = L"\\\\?\\GLOBALROOT";
    constexpr std::wstring_view kLong = L"\\\\?\\";
    if (StartsWithIgnoreAsciiCase(path, kUnc)) return L"\\\\" + std::wstring(path.substr(kUnc.size()));
    if (StartsWithIgnoreAsciiCase(path, kGlobalRoot)) return std::wstring(path.substr(kGlobalRoot.size()));
    if (StartsWithIgnoreAsciiCase(path, kLong)) return std::wstring(path.substr(kLong.size()));
    return std::wstring(path);
}

}  // namespace zel
