// Move-only owners for Win32 handles. Feature code never calls CloseHandle,
// RegCloseKey, DeleteObject and friends directly.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <utility>

namespace zel {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type value) noexcept : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::IsValid(value_); }

    Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }

    void reset(Type value = Traits::Invalid()) noexcept {
        Type old = std::exchange(value_, value);
        if (Traits::IsValid(old)) Traits::Close(old);
    }

    // For out parameters: closes what is held and hands out the slot.
    Type* put() noexcept {
        reset();
        return &value_;
    }

private:
    Type value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // NULL and INVALID_HANDLE_VALUE both mean "none"
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

struct LocalMemTraits {
    using Type = HLOCAL;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { ::LocalFree(h); }
};

struct CoTaskMemTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { ::CoTaskMemFree(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueHKey = UniqueHandle<RegKeyTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueLocalMem = UniqueHandle<LocalMemTraits>;
using UniqueCoTaskMem = UniqueHandle<CoTaskMemTraits>;

// A string the shell allocated with CoTaskMemAlloc (SHGetKnownFolderPath and friends).
class UniqueCoTaskString {
public:
    UniqueCoTaskString() = default;
    PWSTR get() const noexcept { return static_cast<PWSTR>(mem_.get()); }
    PWSTR* put() noexcept { return reinterpret_cast<PWSTR*>(mem_.put()); }
    explicit operator bool() const noexcept { return static_cast<bool>(mem_); }

private:
    UniqueCoTaskMem mem_;
};

// Both handles of a started process.
class UniqueProcessInformation {
public:
    UniqueProcessInformation() noexcept = default;
    UniqueProcessInformation(const UniqueProcessInformation&) = delete;
    UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;
    ~UniqueProcessInformation() { reset(); }

    PROCESS_INFORMATION* put() noexcept {
        reset();
        return &info_;
    }
    const PROCESS_INFORMATION& get() const noexcept { return info_; }
    HANDLE process() const noexcept { return info_.hProcess; }

    void reset() noexcept {
        if (info_.hThread) ::CloseHandle(info_.hThread);
        if (info_.hProcess) ::CloseHandle(info_.hProcess);
        info_ = PROCESS_INFORMATION{};
    }

private:
    PROCESS_INFORMATION info_{};
};

// A COM interface pointer that is released when it goes out of scope.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    T** put() noexcept {
        reset();
        return &ptr_;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }
    void reset() noexcept {
        if (ptr_) std::exchange(ptr_, nullptr)->Release();
    }

private:
    T* ptr_ = nullptr;
};

// CoInitializeEx / CoUninitialize pair for one scope.
class ComApartment {
public:
    explicit ComApartment(DWORD flags = COINIT_APARTMENTTHREADED) noexcept
        : ok_(SUCCEEDED(::CoInitializeEx(nullptr, flags))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { uninitialize(); }
    void uninitialize() noexcept {
        if (ok_) ::CoUninitialize();
        ok_ = false;
    }

private:
    bool ok_;
};

// A window's device context (the screen's for a null window). It belongs to the
// window manager: it is given back with ReleaseDC, never deleted.
class WindowDc {
public:
    explicit WindowDc(HWND window = nullptr) noexcept : window_(window), dc_(::GetDC(window)) {}
    WindowDc(HWND window, DWORD flags) noexcept : window_(window), dc_(::GetDCEx(window, nullptr, flags)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A memory device context compatible with another (with the screen for null),
// deleted with DeleteDC.
class MemoryDc {
public:
    explicit MemoryDc(HDC compatible = nullptr) noexcept : dc_(::CreateCompatibleDC(compatible)) {}
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (dc_) ::DeleteDC(dc_);
    }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HDC dc_;
};

}  // namespace zel
