#include "builder/product/product_skeleton.h"

#include <fstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "builder/product/path_text.h"

namespace zel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Lines joined with CR LF, as Windows editors expect them.
std::string CrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

// Every [Setup] key with its default; the keys only the packager can fill in
// hold placeholders, the others are commented out at their defaults.
constexpr std::string_view kSetupIni = R"(; setup.ini of a new product, written by InstallerBuilder --init.
;
; 1. Replace every "<replace: ...>" here and in License.txt; the builder refuses
;    to build while one is left.
; 2. Put the product's files below files/ and select them under [Files].
; 3. InstallerBuilder <this folder> -o setup.exe
;
; Lines starting with ";" are comments. A key left out (or commented out) takes
; the default written beside it; a key present with nothing after "=" is empty.
; The file may stay UTF-8 or be saved as UTF-16LE with a byte-order mark.
; docs/setup-ini.md describes every section and key.

[Setup]
; The product's name in the wizard. It identifies the product on the machine:
; keep it the same across versions (even its letter case).
; Default: アプリケーション
AppName=<replace: the product's name>
; The version being installed, dotted numbers (at most four, each up to 65535);
; raise it with every release. Default: 1.0.0
AppVersion=1.0.0
; The publisher in Windows' list of installed programs. Default: ZelSetup
Publisher=<replace: the publisher's name>
; The folder the wizard proposes and a quiet install uses. A full path with its
; drive, or one that starts with a variable setup.exe expands on the machine
; (%ProgramFiles%, %ProgramFiles(x86)%, %SystemDrive%).
; Default: C:\Program Files\アプリケーション
DefaultInstallDir=%ProgramFiles%\<replace: the product's folder name>
; The licence text the wizard shows, relative to this folder. Required.
LicenseFile=License.txt

; The name in the list of installed programs. Default: the value of AppName
;ProgramsDisplayName=
; The version in the list of installed programs, which a later setup.exe
; compares its AppVersion with: leave it unset. Default: the value of AppVersion
;DisplayVersion=
; The Version value of the Uninstall key. Default: the value of DisplayVersion
;ProductVersion=
; Web addresses in the list of installed programs. Default: empty (none written)
;SupportUrl=
;HelpUrl=
;UpdateUrl=
; The desktop shortcut's file name; empty: no desktop shortcut.
; Default: the value of AppName
;ShortcutName=
; The Start-menu folder of the [StartMenuItems] shortcuts (Vendor\Product may
; nest); empty: no Start-menu items. Default: the value of AppName
;StartMenuGroupName=
; How the builder stores the payload in setup.exe: none (files as they are),
; deflate (smaller, a little slower to build and install) or lzma (smallest,
; in solid blocks; slowest to build). Default: none
;Compression=none
; lzma: the most one solid block holds, in MiB (1 to 1024). Default: 128
;CompressionBlockSize=128

[Files]
; One pattern per line, relative to files/; the key (File1, File2, ...) is only
; a name for the line. App.exe selects that file, Doc\* everything below Doc,
; *.dll every .dll at any depth. The first value ending in .exe is the main
; program: the desktop shortcut's target. No value at all installs every file.
;File1=App.exe
;File2=Doc\*

[StartMenuItems]
; One shortcut per line: Label|Target, the target relative to the install
; folder and installed by [Files]. Without "Label|", the target's name.
;Item1=Manual|Doc\Manual.pdf

[System32RegSvr]
; Libraries placed in the Windows system folder and registered as COM servers,
; relative to files/.
;Dll1=com\Widget.dll
)";

constexpr std::string_view kLicense = R"(<replace: the licence text the user must accept to install>
)";

void WriteNewFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + QuotedPath(path));
}

}  // namespace

std::string SkeletonSetupIni() { return std::string(kBom) + CrLf(kSetupIni); }

std::string SkeletonLicense() { return std::string(kBom) + CrLf(kLicense); }

std::vector<fs::path> WriteProductSkeleton(const fs::path& given) {
    // "New/" names the folder New.
    const fs::path folder = given.has_filename() ? given : given.parent_path();
    std::error_code ec;
    if (fs::symlink_status(folder, ec).type() != fs::file_type::not_found) {
        throw std::runtime_error(QuotedPath(folder) +
                                 " already exists; --init makes a new product folder and never writes into an "
                                 "existing one: name a folder that does not exist yet");
    }
    if (folder.has_parent_path()) fs::create_directories(folder.parent_path());
    // Created here and now, so that nothing inside can be overwritten, even by a
    // folder that appeared since the look above.
    if (!fs::create_directory(folder)) {
        throw std::runtime_error(QuotedPath(folder) + " already exists; name a folder that does not exist yet");
    }
    const std::vector<fs::path> written = {folder / "setup.ini", folder / "License.txt", folder / "files"};
    WriteNewFile(written[0], SkeletonSetupIni());
    WriteNewFile(written[1], SkeletonLicense());
    fs::create_directory(written[2]);
    return written;
}

}  // namespace zel
