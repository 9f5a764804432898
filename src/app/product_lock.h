// Holding the product's mutex: one setup or uninstall of a product at a time.
#pragma once

#include <string>

#include "util/unique_handle.h"

namespace zel {

class ProductLock {
public:
    ProductLock() = default;
    ProductLock(const ProductLock&) = delete;
    ProductLock& operator=(const ProductLock&) = delete;
    ~ProductLock();

    // Takes the mutex of that name (ProductLockName) without waiting. True only
    // when this lock now owns it: a mutex another process holds, an object of
    // that name that is no mutex or not an administrators' one, and every
    // failure to make or open it count as held, so that nobody can switch the
    // lock off. Taking it again after a refusal tries anew.
    bool TryAcquire(const std::wstring& name);

private:
    UniqueKernelHandle mutex_;
    bool owned_ = false;
};

// Where the product mutexes live, as an object name prefix: the private
// namespace that only elevated administrators can make objects in ("ZelSetup\"),
// or "Global\" where the system has no private namespaces (Wine), which anyone
// could take a name in first. Made once for the process.
std::wstring ProductLockNamespace();

// The security descriptor every product mutex is made with, in SDDL: owned by
// Administrators, full access for Administrators and SYSTEM only.
extern const wchar_t kProductLockSddl[];

// The lock name for an uninstall of the key: the product's own when the key
// records its AppName, so that setup and uninstall of one product exclude each
// other; otherwise one made from the key.
std::wstring LockNameForProductKey(const std::wstring& productKey);

}  // namespace zel
