#include "app/product_lock.h"

#include "app/product_lock_name.h"
#include "install/registration/uninstall_entry.h"
#include "uninstall/uninstall_run.h"

namespace zel {

ProductLock::~ProductLock() {
    if (owned_) ::ReleaseMutex(mutex_.get());
}

bool ProductLock::TryAcquire(const std::wstring& name) {
    mutex_.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
    if (!mutex_) {
        // The mutex exists but was made by someone this process may not open:
        // another run holds the product.
        return ::GetLastError() != ERROR_ACCESS_DENIED;
    }
    // An abandoned mutex belonged to a run that ended without letting go; it is ours now.
    const DWORD wait = ::WaitForSingleObject(mutex_.get(), 0);
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    return owned_;
}

std::wstring LockNameForProductKey(const std::wstring& productKey) {
    const std::wstring key = NormalizeProductKey(productKey);
    UninstallEntry entry;
    if (!key.empty() && ReadUninstallEntry(key, entry) && entry.setupAppName) {
        return ProductLockName(*entry.setupAppName);
    }
    return ProductKeyLockName(key);
}

}  // namespace zel
