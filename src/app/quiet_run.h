// A run without any window: "/quiet" in setup mode and in uninstall mode.
#pragma once

#include "app/command_line.h"
#include "util/log_file.h"

namespace zel {

// Installs, updates, repairs or removes the product as the command line asks,
// reporting only to the log file (opened by the caller when /log was given),
// and returns the quiet exit code.
int RunQuietProgram(const CommandLine& commandLine, LogFile& logFile);

}  // namespace zel
