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

    // Takes the named mutex without waiting. False when another process holds
    // it. When the mutex cannot be made at all there is nothing to hold and
    // nothing to wait for: true.
    bool TryAcquire(const std::wstring& name);

private:
    UniqueKernelHandle mutex_;
    bool owned_ = false;
};

// The lock name for an uninstall of the key: the product's own when the key
// records its AppName, so that setup and uninstall of one product exclude each
// other; otherwise one made from the key.
std::wstring LockNameForProductKey(const std::wstring& productKey);

}  // namespace zel
