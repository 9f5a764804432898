// The one run record of setup mode, owned by the run driver and lent to the
// dialogs and the install run. The window fields belong to the wizard; the
// install run never touches them and reports through a RunReporter instead.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config/setup_config.h"
#include "install/run_mode.h"
#include "payload/payload_archive.h"
#include "payload/payload_digest.h"
#include "run/run_reporter.h"

namespace zel {

struct SetupContext {
    HWND hwnd = nullptr;
    std::int32_t page = Welcome;
    std::wstring selfPath;
    std::wstring tempDir;
    std::wstring installDir;
    SetupConfig config;
    std::span<const std::uint8_t> payloadData;  // the mapped payload resource
    std::vector<PayloadEntry> payloadEntries;
    std::optional<PayloadDigests> payloadDigests;  // empty: built without digests
    HFONT titleFont = nullptr;
    HFONT subtitleFont = nullptr;
    bool licenseAccepted = false;
    std::wstring licenseText;
    bool repairMode = false;
    bool updateMode = false;
    bool updateAvailable = false;
    std::wstring installedVersion;
    std::wstring existingProductKey;
    // Where the wizard sends the install run's log, progress and outcome and its
    // own message boxes; set before the wizard is shown.
    RunReporter* reporter = nullptr;
    // System-folder files this product holds a reference count on, kept across
    // retries so that no count is raised twice.
    std::vector<std::wstring> countedSystemFiles;
};

// Repair is tested first, then Update, else Install.
inline InstallMode GetInstallMode(const SetupContext& context) noexcept {
    if (context.repairMode) return InstallMode::Repair;
    if (context.updateMode) return InstallMode::Update;
    return InstallMode::Install;
}

}  // namespace zel
