#include "app/product_lock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "app/product_lock_name.h"
#include "install/registration/uninstall_entry.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

std::wstring TestLockName(const wchar_t* what) {
    return ProductLockName(std::wstring(L"Zel lock test ") + what + std::to_wstring(::GetCurrentProcessId()));
}

TEST(ProductLock, HeldByAnotherThreadIsRefusedAndFreedOnceReleased) {
    const std::wstring name = TestLockName(L"held");
    HANDLE taken = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        ProductLock lock;
        EXPECT_TRUE(lock.TryAcquire(name));
        ::SetEvent(taken);
        ::WaitForSingleObject(release, 10000);
    });
    ASSERT_EQ(::WaitForSingleObject(taken, 10000), WAIT_OBJECT_0);
    {
        ProductLock second;
        EXPECT_FALSE(second.TryAcquire(name));
    }
    ::SetEvent(release);
    holder.join();
    ProductLock third;
    EXPECT_TRUE(third.TryAcquire(name)) << "the holder let go at its end";
    ::CloseHandle(taken);
    ::CloseHandle(release);
}

TEST(ProductLock, AbandonedByAnEndedHolderIsTaken) {
    const std::wstring name = TestLockName(L"abandoned");
    HANDLE kept = nullptr;
    std::thread holder([&] {
        kept = ::CreateMutexW(nullptr, TRUE, name.c_str());  // owned, never released
    });
    holder.join();
    ASSERT_NE(kept, nullptr);
    ProductLock lock;
    EXPECT_TRUE(lock.TryAcquire(name));
    ::CloseHandle(kept);
}

TEST(ProductLock, UninstallFindsTheProductsOwnName) {
    const std::wstring key = L"{ZEL-LOCK-TEST-" + std::to_wstring(::GetCurrentProcessId()) + L"}";
    const std::wstring path = std::wstring(kUninstallKeyPath) + L"\\" + key;
    EXPECT_EQ(LockNameForProductKey(L" \"" + key + L"\" "), ProductKeyLockName(key)) << "no such key";
    UniqueHKey entry;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                                entry.put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(LockNameForProductKey(key), ProductKeyLockName(key)) << "a key without ZelSetupAppName";
    const std::wstring appName = L"ゼル ロック";
    ::RegSetValueExW(entry.get(), L"ZelSetupAppName", 0, REG_SZ, reinterpret_cast<const BYTE*>(appName.c_str()),
                     static_cast<DWORD>((appName.size() + 1) * sizeof(wchar_t)));
    // Unbraced, as a hand-typed command line may give it.
    EXPECT_EQ(LockNameForProductKey(key.substr(1, key.size() - 2)), ProductLockName(appName));
    entry.reset();
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0);
}

}  // namespace
}  // namespace zel
