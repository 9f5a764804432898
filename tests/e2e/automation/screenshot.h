// Screen captures: for the artefacts a person looks at after a run, and for
// comparing what a control shows with a known picture.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zel::e2e {

// 32-bit BGRX pixels, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// What the screen shows in the rectangle (screen coordinates).
Image CaptureScreenRect(const RECT& rect);
// The window's rectangle, or the whole screen for a null window.
Image CaptureWindow(HWND window);

bool SaveBitmap(const Image& image, const std::filesystem::path& path);

// Saves the window (or the whole screen for null) as a 24-bit BMP named after the
// step into the folder named by ZEL_ARTIFACTS_DIR; does nothing when it is unset.
// Returns the path written, empty when nothing was written.
std::filesystem::path SaveScreenshot(HWND window, const std::wstring& name);

}  // namespace zel::e2e
