// InstallerBuilder: turns a product folder into setup.exe.
//   InstallerBuilder <product-folder> -o <setup.exe> [--stub <InstallerCore.exe>] [--icon <file.ico>]
//                    [--compression none|deflate|lzma] [--block-size MIB] [--strict]
//   InstallerBuilder --list <setup.exe | product-folder>
//   InstallerBuilder --init <new-product-folder>
//   InstallerBuilder --version
// Exit codes: 0 built, 1 refused or failed (message on stderr), 2 usage error.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <iostream>

#include "builder/installer_builder.h"
#include "builder/listing.h"
#include "builder/output_checks.h"
#include "builder/pe/version_resource.h"
#include "builder/product/path_text.h"
#include "builder/product/product_skeleton.h"
#include "builder/product/terminal_text.h"
#include "builder/stub_location.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// Progress is shown only for payloads that take a noticeable time to write.
constexpr std::uint64_t kProgressThreshold = 64ull << 20;

constexpr const char* kUsageLine =
    "usage: InstallerBuilder <product-folder> -o <setup.exe> [--stub <InstallerCore.exe>] [--icon <file.ico>]\n"
    "                        [--compression none|deflate|lzma] [--block-size MIB] [--strict]\n"
    "       InstallerBuilder --list <setup.exe | product-folder>\n"
    "       InstallerBuilder --init <new-product-folder>\n"
    "       InstallerBuilder --version\n";

constexpr const char* kHelp =
    "\n"
    "Builds setup.exe from a product folder that holds setup.ini, the licence file\n"
    "its LicenseFile names, and files/ with everything to install. Every check runs\n"
    "before anything is written.\n"
    "\n"
    "  -o, --output FILE  the setup program to write; replaced only once complete\n"
    "  --stub FILE        the installer program to embed the payload into\n"
    "                     (default: InstallerCore.exe next to InstallerBuilder,\n"
    "                     then in ../share/zelsetup/ from InstallerBuilder's folder)\n"
    "  --icon FILE.ico    the product's icon for setup.exe (default: the stub's)\n"
    "  --compression M    none: store the payload as it is (the default); deflate:\n"
    "                     compress each file, a smaller setup.exe for a little\n"
    "                     longer to build and install; lzma: compress files in\n"
    "                     solid blocks, the smallest setup.exe, slower to build.\n"
    "                     Overrides [Setup] Compression\n"
    "  --block-size MIB   lzma: the most one solid block holds (default 128);\n"
    "                     overrides [Setup] CompressionBlockSize\n"
    "  --strict           treat warnings as errors: nothing is written\n"
    "  --list PATH        show what a setup.exe carries, or what a product folder\n"
    "                     would give and install, without writing anything\n"
    "  --init FOLDER      write a new product folder to start from: a commented\n"
    "                     setup.ini, a License.txt and an empty files/; the build\n"
    "                     is refused until its placeholders are replaced\n"
    "  --version          show InstallerBuilder's version\n"
    "  -h, --help         show this text\n"
    "\n"
    "setup.ini may be UTF-8 (with or without a byte-order mark) or UTF-16LE with a\n"
    "byte-order mark; it is stored as UTF-16LE. Its sections and keys are described\n"
    "in docs/setup-ini.md. setup.exe's version resource is written from setup.ini\n"
    "(AppName, Publisher, AppVersion). Sign the output after building, never the\n"
    "stub. The payload may make setup.exe an image of at most 1536 MiB.\n"
    "\n"
    "Exit status: 0 built (warnings, if any, on stderr); 1 the product folder, the\n"
    "stub or the output could not be used, or warnings with --strict (the message\n"
    "says why); 2 wrong command line.\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Every message may quote names and values from the product: printed escaped.
void PrintError(const std::string& text) { std::fprintf(stderr, "%s\n", zel::TerminalText(text).c_str()); }

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

fs::path ExecutablePath() {
#ifdef _WIN32
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return fs::path(buffer.substr(0, n));
        buffer.resize(buffer.size() * 2);
    }
#else
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec);
#endif
}

// Rewrites one line on the terminal as the payload is written.
class Progress {
public:
    void Update(std::uint64_t done, std::uint64_t total) {
        if (total < kProgressThreshold) return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == lastPercent_) return;
        lastPercent_ = percent;
        std::fprintf(stderr, "\rwriting payload: %3d%% (%llu of %llu MiB)", percent,
                     static_cast<unsigned long long>(done >> 20), static_cast<unsigned long long>(total >> 20));
        std::fflush(stderr);
        shown_ = true;
    }
    // Ends the progress line so that what follows starts on a line of its own.
    void Finish() {
        if (shown_) std::fputc('\n', stderr);
        shown_ = false;
    }

private:
    int lastPercent_ = -1;
    bool shown_ = false;
};

void PrintWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) PrintError("warning: " + warning);
}

// --list: a folder is a product folder, anything else a setup.exe.
int List(const std::string& target, bool strict) {
    const fs::path path = zel::PathFromUtf8(target);
    if (fs::is_directory(path)) {
        std::vector<std::string> warnings;
        zel::ListProductFolder(path, std::cout, warnings);
        PrintWarnings(warnings);
        return strict && !warnings.empty() ? kExitFailure : 0;
    }
    zel::ListSetupExe(path, std::cout);
    return 0;
}

// --init: a new product folder, never written over an existing one.
int Init(const std::string& target) {
    const fs::path folder = zel::PathFromUtf8(target);
    for (const fs::path& path : zel::WriteProductSkeleton(folder)) {
        std::fprintf(stdout, "wrote %s\n", zel::TerminalText(zel::PathToUtf8(path)).c_str());
    }
    std::fprintf(stdout,
                 "next: replace each \"<replace: ...>\" in setup.ini and License.txt, put the product's files in "
                 "files/ and select them under [Files], then run\n  InstallerBuilder %s -o setup.exe\n",
                 zel::TerminalText(target).c_str());
    return 0;
}

int Run(const std::vector<std::string>& args) {
    zel::BuildOptions options;
    bool haveProduct = false;
    bool haveOutput = false;
    std::string listTarget;
    bool haveList = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](const std::string& option) {
            if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
            return zel::PathFromUtf8(args[++i]);
        };
        if (arg == "--init") {
            if (args.size() != 2 || i != 0) throw UsageError("--init takes one new product folder and nothing else");
            return Init(zel::PathToUtf8(value(arg)));
        }
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsageLine, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--version") {
            std::fprintf(stdout, "InstallerBuilder %s\n", std::string(zel::BuilderVersion()).c_str());
            return 0;
        } else if (arg == "--list") {
            listTarget = zel::PathToUtf8(value(arg));
            haveList = true;
        } else if (arg == "--strict") {
            options.strict = true;
        } else if (arg == "--icon") {
            options.icon = value(arg);
        } else if (arg.starts_with("--icon=")) {
            options.icon = zel::PathFromUtf8(arg.substr(7));
        } else if (arg == "-o" || arg == "--output") {
            options.output = value(arg);
            haveOutput = true;
        } else if (arg.starts_with("--output=")) {
            options.output = zel::PathFromUtf8(arg.substr(9));
            haveOutput = true;
        } else if (arg == "--compression" || arg.starts_with("--compression=")) {
            const std::string name = arg == "--compression" ? zel::PathToUtf8(value(arg)) : arg.substr(14);
            options.compression = zel::CompressionNamed(name);
            if (!options.compression) {
                throw UsageError("--compression " + name + " names no method; use one of " + zel::CompressionNames());
            }
        } else if (arg == "--block-size" || arg.starts_with("--block-size=")) {
            const std::string text = arg == "--block-size" ? zel::PathToUtf8(value(arg)) : arg.substr(13);
            const std::optional<unsigned> mib = zel::BlockMiBNamed(text);
            if (!mib) throw UsageError("--block-size " + text + " is no size in MiB from 1 to 1024");
            options.blockMiB = *mib;
        } else if (arg == "--stub") {
            options.stub = value(arg);
        } else if (arg.starts_with("--stub=")) {
            options.stub = zel::PathFromUtf8(arg.substr(7));
        } else if (arg.size() > 1 && arg.front() == '-') {
            throw UsageError("unknown option " + arg);
        } else if (haveProduct) {
            throw UsageError("more than one product folder given");
        } else {
            options.productFolder = zel::PathFromUtf8(arg);
            haveProduct = true;
        }
    }
    if (haveList) {
        if (haveProduct || haveOutput) throw UsageError("--list takes one setup.exe or product folder and no output");
        return List(listTarget, options.strict);
    }
    if (!haveProduct) throw UsageError("no product folder given");
    if (!haveOutput || options.output.empty()) throw UsageError("no output given (-o setup.exe)");
    if (options.stub.empty()) options.stub = zel::FindDefaultStub(ExecutablePath().parent_path());

    Progress progress;
    if (StderrIsTerminal()) {
        options.progress = [&progress](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); };
    }
    try {
        const zel::BuildResult result = zel::BuildInstaller(options);
        progress.Finish();
        PrintWarnings(result.warnings);
        for (const std::string& note : result.notes) PrintError("note: " + note);
        std::string how;
        if (result.compression != zel::PayloadCompression::None) {
            char text[128];
            std::snprintf(text, sizeof(text), " (payload %s: %llu of %llu bytes, %.1f %%)",
                          std::string(zel::CompressionName(result.compression)).c_str(),
                          static_cast<unsigned long long>(result.payloadSize),
                          static_cast<unsigned long long>(result.originalSize),
                          result.originalSize ? 100.0 * static_cast<double>(result.payloadSize) /
                                                    static_cast<double>(result.originalSize)
                                              : 100.0);
            how = text;
        }
        std::fprintf(stdout, "wrote %s: %zu entries, %llu bytes%s\n",
                     zel::TerminalText(zel::PathToUtf8(options.output)).c_str(), result.entries,
                     static_cast<unsigned long long>(result.fileSize), how.c_str());
    } catch (...) {
        progress.Finish();
        throw;
    }
    return 0;
}

int RunAndReport(const std::vector<std::string>& args) {
    try {
        return Run(args);
    } catch (const UsageError& e) {
        PrintError(std::string("error: ") + e.what());
        std::fputs(kUsageLine, stderr);
        return kExitUsage;
    } catch (const fs::filesystem_error& e) {
        // Paths in UTF-8 rather than as the library's message spells them.
        std::string text = "error: " + e.code().message();
        if (!e.path1().empty()) text += ": \"" + zel::PathToUtf8(e.path1()) + "\"";
        if (!e.path2().empty()) text += ", \"" + zel::PathToUtf8(e.path2()) + "\"";
        PrintError(text);
    } catch (const zel::WarningsRefused& e) {
        for (const std::string& warning : e.warnings()) PrintError("error: " + warning);
        PrintError("error: the warnings above refuse the build (--strict); nothing was written");
    } catch (const std::exception& e) {
        PrintError(std::string("error: ") + e.what());
    }
    return kExitFailure;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // Messages are UTF-8; let the console show them as such.
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(zel::PathToUtf8(fs::path(argv[i])));
    return RunAndReport(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunAndReport(args);
}
#endif
