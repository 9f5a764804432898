// Process exit codes. An interactive run ends with 0 or 1 (or the uninstall
// run's 0 or 1); a quiet run ends with the codes deployment tools know from
// Windows Installer, so that they can tell success, "try later" and failure apart.
#pragma once

namespace zel {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;

inline constexpr int kExitQuietBadCommandLine = 87;    // ERROR_INVALID_PARAMETER
inline constexpr int kExitQuietFailed = 1603;          // ERROR_INSTALL_FAILURE
inline constexpr int kExitQuietUnknownProduct = 1605;  // ERROR_UNKNOWN_PRODUCT
inline constexpr int kExitQuietAlreadyRunning = 1618;  // ERROR_INSTALL_ALREADY_RUNNING
inline constexpr int kExitQuietLogFailed = 1622;       // ERROR_INSTALL_LOG_FAILURE
inline constexpr int kExitQuietNewerInstalled = 1638;  // ERROR_PRODUCT_VERSION

// Done, but files held open are deleted only at the next restart.
inline constexpr int kExitQuietRestartRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED

}  // namespace zel
