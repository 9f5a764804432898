#include "automation/screenshot.h"

#include <cstring>
#include <fstream>

#include "util/unique_handle.h"

namespace zel::e2e {
namespace {

std::wstring SafeFileName(const std::wstring& name) {
    std::wstring out;
    for (wchar_t c : name) out.push_back(std::wcschr(L"\\/:*?\"<>| ", c) ? L'_' : c);
    return out;
}

}  // namespace

Image CaptureScreenRect(const RECT& rect) {
    Image image;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return image;

    WindowDc screen;
    MemoryDc memory(screen.get());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !memory.get()) return image;
    HGDIOBJ previous = ::SelectObject(memory.get(), bitmap.get());
    const BOOL copied = ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
    ::GdiFlush();
    ::SelectObject(memory.get(), previous);
    if (!copied) return image;

    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * height);
    std::memcpy(image.pixels.data(), bits, image.pixels.size() * sizeof(std::uint32_t));
    return image;
}

Image CaptureWindow(HWND window) {
    RECT rect{};
    if (window) {
        ::GetWindowRect(window, &rect);
    } else {
        rect.left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
        rect.top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
        rect.right = rect.left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
        rect.bottom = rect.top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    }
    return CaptureScreenRect(rect);
}

bool SaveBitmap(const Image& image, const std::filesystem::path& path) {
    if (image.width <= 0 || image.height <= 0) return false;
    const std::uint32_t rowSize = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t dataSize = rowSize * static_cast<std::uint32_t>(image.height);

    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + dataSize;
    header.biSize = sizeof(header);
    header.biWidth = image.width;
    header.biHeight = image.height;  // bottom row first, as most readers expect
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = dataSize;

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    std::vector<char> row(rowSize, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t pixel = image.at(x, y);
            row[x * 3 + 0] = static_cast<char>(pixel & 0xFF);
            row[x * 3 + 1] = static_cast<char>((pixel >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<char>((pixel >> 16) & 0xFF);
        }
        out.write(row.data(), row.size());
    }
    return static_cast<bool>(out);
}

std::filesystem::path SaveScreenshot(HWND window, const std::wstring& name) {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"ZEL_ARTIFACTS_DIR", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::filesystem::path path = std::filesystem::path(folder) / (SafeFileName(name) + L".bmp");
    return SaveBitmap(CaptureWindow(window), path) ? path : std::filesystem::path();
}

}  // namespace zel::e2e
