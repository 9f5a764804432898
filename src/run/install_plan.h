// What one install run works from: this program, its private temp folder, the
// install folder, setup.ini, the mapped payload and what kind of run it is. The
// start-up sequence fills it on both roads (the wizard holds it in its state,
// the quiet run on its own); the install run reads it and keeps only the counts
// it took across retries. Nothing here belongs to a window.
#pragma once

#include <string>
#include <vector>

#include "config/setup_config.h"
#include "payload/mapped_payload.h"

namespace zel {

enum class InstallMode { Install, Update, Repair };

struct InstallPlan {
    std::wstring selfPath;  // copied into the install folder as Uninstall.exe
    std::wstring tempDir;   // the private extraction folder
    std::wstring installDir;
    SetupConfig config;
    MappedPayload payload;
    InstallMode mode = InstallMode::Install;
    // Update and Repair: the Uninstall subkey of the installation, registered again.
    std::wstring existingProductKey;
    // System-folder files this product holds a reference count on, kept across
    // retries so that no count is raised twice.
    std::vector<std::wstring> countedSystemFiles;
};

}  // namespace zel
