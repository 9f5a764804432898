#include "app/product_lock.h"

#include <aclapi.h>
#include <sddl.h>

#include <mutex>

#include "app/product_lock_name.h"
#include "install/registration/uninstall_entry.h"
#include "uninstall/uninstall_run.h"

namespace zel {

// 0x1F0001: MUTEX_ALL_ACCESS, written out so that the list is the same as stored.
const wchar_t kProductLockSddl[] = L"O:BAD:P(A;;0x1f0001;;;BA)(A;;0x1f0001;;;SY)";

namespace {

// The namespace is named by its prefix and its boundary: only a process whose
// token holds the Administrators group enabled (an elevated one) can make it or
// open it, so a standard user can neither make one of this identity first nor
// make objects in it.
constexpr wchar_t kNamespacePrefix[] = L"ZelSetup";
constexpr wchar_t kBoundaryName[] = L"ZelSetup";
constexpr wchar_t kNamespaceSddl[] = L"D:P(A;;GA;;;BA)(A;;GA;;;SY)";
constexpr wchar_t kGlobalPrefix[] = L"Global\\";

struct BoundaryTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { ::DeleteBoundaryDescriptor(h); }
};
using UniqueBoundary = UniqueHandle<BoundaryTraits>;

// The state of the process's namespace: not made (a failure, tried again next
// time), open, or absent from this system.
enum class NamespaceState { Failed, Open, Unsupported };

NamespaceState OpenProductNamespace() {
    UniqueBoundary boundary(::CreateBoundaryDescriptorW(kBoundaryName, 0));
    // Every Windows since Vista makes a boundary descriptor (it is only memory);
    // Wine does not.
    if (!boundary) return NamespaceState::Unsupported;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    HANDLE boundaryHandle = boundary.get();
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize) ||
        !::AddSIDToBoundaryDescriptor(&boundaryHandle, sid)) {
        return NamespaceState::Failed;
    }
    boundary.release();
    boundary.reset(boundaryHandle);  // AddSIDToBoundaryDescriptor may move it

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kNamespaceSddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        return NamespaceState::Failed;
    }
    const UniqueLocalMem descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    // Another process may hold the namespace, or let go of it between the two
    // calls: a few turns settle it. The handle stays open until the process
    // ends, so that the names in it stay reachable for every later lock.
    for (int turn = 0; turn < 4; ++turn) {
        if (::CreatePrivateNamespaceW(&attributes, boundary.get(), kNamespacePrefix)) return NamespaceState::Open;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return NamespaceState::Failed;
        if (::OpenPrivateNamespaceW(boundary.get(), kNamespacePrefix)) return NamespaceState::Open;
    }
    return NamespaceState::Failed;
}

// The prefix for the mutex names; empty when the namespace could not be made.
std::wstring LockPrefix() {
    static std::mutex guard;
    static NamespaceState state = NamespaceState::Failed;
    const std::lock_guard<std::mutex> hold(guard);
    if (state == NamespaceState::Failed) state = OpenProductNamespace();
    switch (state) {
        case NamespaceState::Open:
            return std::wstring(kNamespacePrefix) + L"\\";
        case NamespaceState::Unsupported:
            return kGlobalPrefix;
        case NamespaceState::Failed:
            break;
    }
    return {};
}

// True when the object's owner is Administrators or SYSTEM, as for every mutex
// this class makes; a mutex of that name that anybody else made is not ours.
bool OwnedByAdministrators(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueLocalMem descriptorOwner(descriptor);
    return owner &&
           (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(owner, WinLocalSystemSid));
}

}  // namespace

ProductLock::~ProductLock() {
    if (owned_) ::ReleaseMutex(mutex_.get());
}

bool ProductLock::TryAcquire(const std::wstring& name) {
    if (owned_) ::ReleaseMutex(mutex_.get());
    owned_ = false;
    mutex_.reset();

    const std::wstring prefix = LockPrefix();
    if (prefix.empty()) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kProductLockSddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        return false;
    }
    const UniqueLocalMem descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    mutex_.reset(::CreateMutexW(&attributes, FALSE, (prefix + name).c_str()));
    // No handle: another kind of object has the name, or one we may not open.
    if (!mutex_) return false;
    if (::GetLastError() == ERROR_ALREADY_EXISTS && !OwnedByAdministrators(mutex_.get())) {
        mutex_.reset();
        return false;
    }
    // An abandoned mutex belonged to a run that ended without letting go; it is ours now.
    const DWORD wait = ::WaitForSingleObject(mutex_.get(), 0);
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!owned_) mutex_.reset();
    return owned_;
}

std::wstring ProductLockNamespace() { return LockPrefix(); }

std::wstring LockNameForProductKey(const std::wstring& productKey) {
    const std::wstring key = NormalizeProductKey(productKey);
    UninstallEntry entry;
    if (!key.empty() && ReadUninstallEntry(key, entry) && entry.setupAppName) {
        return ProductLockName(*entry.setupAppName);
    }
    return ProductKeyLockName(key);
}

}  // namespace zel
