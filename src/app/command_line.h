// The command-line grammar of setup.exe and Uninstall.exe. Portable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel {

// The product key of an uninstall start, from the whole argument list (the
// program path first, as CommandLineToArgvW gives it). The first argument equal
// to "/uninstall" or "-uninstall" (ASCII case folded) decides; the argument after
// it is the key, verbatim. Empty when setup mode runs: no switch, the switch
// last, or an empty argument after it.
std::wstring UninstallKeyFromArguments(const std::vector<std::wstring>& arguments);

// Everything the command line asks for. The switches start with "/" or "-" and
// are compared with ASCII case folding, as "/uninstall" is.
struct CommandLine {
    std::wstring productKey;  // as UninstallKeyFromArguments gives it; non-empty: uninstall mode
    bool quiet = false;       // "/quiet": no window and no message box
    std::wstring installDir;  // "/dir <folder>", verbatim; empty when not given
    std::wstring logFile;     // "/log <file>", verbatim; empty when not given
    bool help = false;        // "/?" or "/help": show the command line, do nothing else
    // The first thing the command line gets wrong, for the log; empty when
    // nothing: "/dir" or "/log" without a value, an argument that is no known
    // switch, or "/?" in a quiet run (which has nobody to show it to). A quiet
    // run refuses such a command line; an interactive run, whose grammar has
    // always ignored other arguments, goes on.
    std::wstring error;
};

// The whole argument list (program path first). "/dir" and "/log" take the next
// argument as their value unless it is missing, empty or itself one of the
// switches; a switch given twice counts the last time. Whether /dir is an
// absolute folder is the caller's check.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// What "/?" shows: the switches and the exit codes.
std::wstring CommandLineHelpText();

// A Windows path that names its drive or server itself: "C:\...", "C:/...",
// "\\server\share..." or "\\?\...". Drive-relative ("C:x"), rooted ("\x")
// and relative paths are not.
bool IsAbsoluteWindowsPath(std::wstring_view path);

}  // namespace zel
