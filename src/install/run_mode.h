// What kind of run the wizard drives, and its pages. Portable: the page rules
// that build on these are tested without a window.
#pragma once

#include <cstdint>

namespace zel {

enum WizardPage : std::int32_t {
    Welcome = 0,
    License = 1,
    Destination = 2,
    Progress = 3,
    Finish = 4,
};

enum class InstallMode { Install, Update, Repair };

}  // namespace zel
