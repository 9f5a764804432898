// How the builder stores the payload: [Setup] Compression in setup.ini, which
// the builder's --compression option overrides. setup.exe never reads the key:
// the payload itself says how each block is stored. Portable.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/ini_document.h"

namespace zel {

enum class PayloadCompression { None, Deflate };

struct CompressionChoice {
    PayloadCompression method = PayloadCompression::None;
    bool given = false;  // false: neither setup.ini nor the command line chose
};

// The method a name gives ("none", "deflate"; ASCII letter case ignored).
std::optional<PayloadCompression> CompressionNamed(std::string_view name);

// The names CompressionNamed takes, for messages: "none, deflate".
std::string CompressionNames();

std::string_view CompressionName(PayloadCompression method);

// [Setup] Compression of setup.ini; not given when the key is missing or empty.
// Throws std::runtime_error for a value that names no method.
CompressionChoice CompressionOfSetupIni(const IniDocument& document);

}  // namespace zel
