#include "automation/message_box.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "automation/screenshot.h"
#include "automation/ui.h"
#include "util/unique_handle.h"

namespace zel::e2e {
namespace {

struct ChildSearch {
    bool wantIcon;
    HWND found = nullptr;
};

bool IsStaticIcon(HWND control) {
    return ClassName(control) == L"Static" && (::GetWindowLongPtrW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

BOOL CALLBACK FindStatic(HWND child, LPARAM param) {
    auto& search = *reinterpret_cast<ChildSearch*>(param);
    if (ClassName(child) != L"Static") return TRUE;
    if (search.wantIcon ? IsStaticIcon(child) : (!IsStaticIcon(child) && !WindowText(child).empty())) {
        search.found = child;
        return FALSE;
    }
    return TRUE;
}

struct IconCandidate {
    BoxIcon kind;
    LPCWSTR resource;
};

const IconCandidate kCandidates[] = {
    {BoxIcon::Error, IDI_ERROR},
    {BoxIcon::Warning, IDI_WARNING},
    {BoxIcon::Information, IDI_INFORMATION},
    {BoxIcon::Question, IDI_QUESTION},
};

// The icon drawn over a plain background of the given colour.
Image RenderIcon(HICON icon, int width, int height, std::uint32_t background) {
    Image image;
    const WindowDc screen;
    const MemoryDc memory(screen.get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap && memory) {
        HGDIOBJ previous = ::SelectObject(memory.get(), bitmap.get());
        auto* pixels = static_cast<std::uint32_t*>(bits);
        std::fill(pixels, pixels + static_cast<std::size_t>(width) * height, background);
        ::DrawIconEx(memory.get(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
        ::GdiFlush();
        image.width = width;
        image.height = height;
        image.pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
        ::SelectObject(memory.get(), previous);
    }
    return image;
}

std::uint64_t Distance(const Image& a, const Image& b) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
        for (int shift : {0, 8, 16}) {
            const int d =
                static_cast<int>((a.pixels[i] >> shift) & 0xFF) - static_cast<int>((b.pixels[i] >> shift) & 0xFF);
            sum += static_cast<std::uint64_t>(d * d);
        }
    }
    return sum;
}

BoxIcon IconByHandle(HWND control) {
    DWORD_PTR shown = 0;
    if (!::SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &shown)) return BoxIcon::Unknown;
    if (!shown) return BoxIcon::None;
    for (const IconCandidate& candidate : kCandidates) {
        if (reinterpret_cast<HICON>(shown) == ::LoadIconW(nullptr, candidate.resource)) return candidate.kind;
    }
    return BoxIcon::Unknown;
}

BoxIcon IconByPicture(HWND control) {
    const Image shown = CaptureWindow(control);
    if (shown.width == 0) return BoxIcon::Unknown;
    const std::uint32_t background = shown.at(0, 0);
    BoxIcon best = BoxIcon::Unknown;
    std::uint64_t bestDistance = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t blank =
        Distance(shown, Image{shown.width, shown.height, std::vector<std::uint32_t>(shown.pixels.size(), background)});
    for (const IconCandidate& candidate : kCandidates) {
        const Image drawn = RenderIcon(::LoadIconW(nullptr, candidate.resource), shown.width, shown.height, background);
        const std::uint64_t distance = Distance(shown, drawn);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate.kind;
        }
    }
    // A control that shows nothing (or something unlike every icon) is no match.
    return bestDistance * 4 < blank ? best : BoxIcon::Unknown;
}

}  // namespace

const char* BoxIconName(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::None:
            return "none";
        case BoxIcon::Error:
            return "error";
        case BoxIcon::Warning:
            return "warning";
        case BoxIcon::Information:
            return "information";
        case BoxIcon::Question:
            return "question";
        case BoxIcon::Unknown:
            return "unknown";
    }
    return "?";
}

HWND MessageBoxTextControl(HWND box) {
    for (int id : {0xFFFF, 100}) {
        HWND control = ::GetDlgItem(box, id);
        if (control && ClassName(control) == L"Static" && !IsStaticIcon(control)) return control;
    }
    ChildSearch search{false};
    ::EnumChildWindows(box, FindStatic, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND MessageBoxIconControl(HWND box) {
    HWND control = ::GetDlgItem(box, 0x14);
    if (control && IsStaticIcon(control)) return control;
    ChildSearch search{true};
    ::EnumChildWindows(box, FindStatic, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

MessageBoxContent ReadMessageBox(HWND box) {
    MessageBoxContent content;
    content.title = WindowText(box);
    content.text = WindowText(MessageBoxTextControl(box));
    HWND icon = MessageBoxIconControl(box);
    if (!icon || !::IsWindowVisible(icon)) {
        content.icon = BoxIcon::None;
    } else {
        content.icon = IconByHandle(icon);
        content.iconFoundBy = "handle";
        if (content.icon == BoxIcon::Unknown) {
            content.icon = IconByPicture(icon);
            content.iconFoundBy = "picture";
        }
    }
    for (int id = IDOK; id <= IDCONTINUE; ++id) {
        HWND button = ::GetDlgItem(box, id);
        if (button && ClassName(button) == L"Button" && ::IsWindowVisible(button)) content.buttons.push_back(id);
    }
    return content;
}

}  // namespace zel::e2e
