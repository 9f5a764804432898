// Letter case as Windows folds it when it matches file names against wildcards:
// one UTF-16 code unit at a time, through the platform's simple upper-case table.
// Portable, so that the installer and InstallerBuilder fold alike.
#pragma once

namespace zel {

// The upper-case form of one UTF-16 code unit, or the unit itself when it has
// none. Accented, Greek, Cyrillic, full-width and other letters of the Basic
// Multilingual Plane fold ("é" -> "É", "д" -> "Д", "ａ" -> "Ａ"); mappings that do
// not round-trip do not ("ſ", "ı", "ß" stay), and surrogates stay as they are.
char16_t UpperCaseUnit(char16_t unit) noexcept;

}  // namespace zel
