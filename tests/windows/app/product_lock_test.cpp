#include "app/product_lock.h"

#include <windows.h>
// After windows.h
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "app/product_lock_name.h"
#include "install/registration/uninstall_entry.h"
#include "util/unique_handle.h"
#include "windows/access_list_support.h"

namespace zel {
namespace {

std::wstring TestLockName(const wchar_t* what) {
    return ProductLockName(std::wstring(L"Zel lock test ") + what + std::to_wstring(::GetCurrentProcessId()));
}

// The full object name the lock uses for a product lock name.
std::wstring ObjectName(const std::wstring& name) { return ProductLockNamespace() + name; }

bool HasPrivateNamespace() { return ProductLockNamespace() != L"Global\\"; }

std::wstring CurrentUserSid() {
    UniqueKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    BYTE buffer[256];
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
    const std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

TEST(ProductLock, LivesInANamespaceOnlyAdministratorsCanMakeObjectsIn) {
    const std::wstring prefix = ProductLockNamespace();
    ASSERT_FALSE(prefix.empty()) << "the namespace could not be made";
    if (!HasPrivateNamespace()) {
        // Wine has no private namespaces; there the lock stays in Global\ and
        // keeps only the owner check below.
        GTEST_LOG_(INFO) << "no private namespaces on this system: the lock uses Global\\";
        return;
    }
    EXPECT_EQ(prefix, L"ZelSetup\\");
    // Somebody took the old, predictable global name first: it no longer matters.
    const std::wstring name = TestLockName(L"squatted");
    UniqueKernelHandle squatter(::CreateMutexW(nullptr, TRUE, (L"Global\\" + name).c_str()));
    ASSERT_TRUE(squatter);
    ProductLock lock;
    EXPECT_TRUE(lock.TryAcquire(name));
    ::ReleaseMutex(squatter.get());
}

TEST(ProductLock, HeldByAnotherThreadIsRefusedAndFreedOnceReleased) {
    const std::wstring name = TestLockName(L"held");
    UniqueKernelHandle taken(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread holder([&] {
        ProductLock lock;
        EXPECT_TRUE(lock.TryAcquire(name));
        ::SetEvent(taken.get());
        ::WaitForSingleObject(release.get(), 10000);
    });
    ASSERT_EQ(::WaitForSingleObject(taken.get(), 10000), WAIT_OBJECT_0);
    ProductLock second;
    EXPECT_FALSE(second.TryAcquire(name));
    EXPECT_FALSE(second.TryAcquire(name)) << "asked again while still held";
    ::SetEvent(release.get());
    holder.join();
    EXPECT_TRUE(second.TryAcquire(name)) << "the holder let go at its end: a retry takes it";
}

TEST(ProductLock, AbandonedByAnEndedHolderIsTaken) {
    const std::wstring name = TestLockName(L"abandoned");
    // Taken on a thread that ends without letting go, as by a killed run.
    auto kept = std::make_unique<ProductLock>();
    std::thread holder([&] { EXPECT_TRUE(kept->TryAcquire(name)); });
    holder.join();
    ProductLock lock;
    EXPECT_TRUE(lock.TryAcquire(name));
}

// The mutex is made owned by Administrators, open to them and SYSTEM only, so
// that no standard user can open it to hold it or to wait on it.
TEST(ProductLock, MutexIsAdministratorsOnly) {
    const std::wstring name = TestLockName(L"security");
    ProductLock lock;
    ASSERT_TRUE(lock.TryAcquire(name));
    UniqueKernelHandle mutex(::OpenMutexW(READ_CONTROL | SYNCHRONIZE, FALSE, ObjectName(name).c_str()));
    ASSERT_TRUE(mutex) << ::GetLastError();
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    const UniqueLocalMem descriptorOwner(descriptor);
    EXPECT_TRUE(::IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    const std::vector<test::AllowedEntry> entries = test::AllowedEntries(dacl);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].sid, L"S-1-5-32-544");
    EXPECT_EQ(entries[1].sid, L"S-1-5-18");
    for (const test::AllowedEntry& entry : entries) EXPECT_EQ(entry.mask, static_cast<ACCESS_MASK>(MUTEX_ALL_ACCESS));
}

// Whatever else has the name counts as held, never as free: an event, a mutex
// that nobody holds but that an ordinary user made (its owner is that user).
TEST(ProductLock, AnythingElseOfThatNameCountsAsHeld) {
    const std::wstring eventName = TestLockName(L"event");
    UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, ObjectName(eventName).c_str()));
    ASSERT_TRUE(event);
    ProductLock lock;
    EXPECT_FALSE(lock.TryAcquire(eventName));

    const std::wstring userSid = CurrentUserSid();
    ASSERT_FALSE(userSid.empty());
    const std::wstring mutexName = TestLockName(L"foreign");
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW((L"O:" + userSid + L"D:(A;;GA;;;WD)").c_str(),
                                                                       SDDL_REVISION_1, &descriptor, nullptr));
    const UniqueLocalMem descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    UniqueKernelHandle foreign(::CreateMutexW(&attributes, FALSE, ObjectName(mutexName).c_str()));
    ASSERT_TRUE(foreign) << ::GetLastError();
    EXPECT_FALSE(lock.TryAcquire(mutexName)) << "a free mutex of another owner";

    foreign.reset();
    EXPECT_TRUE(lock.TryAcquire(mutexName)) << "gone with its last handle";
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
