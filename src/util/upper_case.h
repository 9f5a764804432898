// Letter case as Windows folds it when it matches file names against wildcards:
// one UTF-16 code unit at a time, through the platform's simple upper-case table.
// Portable, so that the installer and InstallerBuilder fold alike.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// The upper-case form of one UTF-16 code unit, or the unit itself when it has
// none. Accented, Greek, Cyrillic, full-width and other letters of the Basic
// Multilingual Plane fold ("é" -> "É", "д" -> "Д", "ａ" -> "Ａ"); mappings that do
// not round-trip do not ("ſ", "ı", "ß" stay), and surrogates stay as they are.
char16_t UpperCaseUnit(char16_t unit) noexcept;

// Text in the form the file system compares names in: UTF-16 code units, each
// upper-cased. A code point beyond the Basic Multilingual Plane (held whole
// where wchar_t has 32 bits) becomes its surrogate pair and is never folded,
// so two such characters never compare equal by accident.
std::u16string FoldedForComparison(std::wstring_view text);

}  // namespace zel
