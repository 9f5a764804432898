// The /dir switch's folder: checked before anything is extracted, so that a
// quiet run with a folder it must not use ends at once with nothing changed.
#pragma once

#include <string>

namespace zel {

// True with the folder to install into (separators made "\", "." and ".."
// resolved, no trailing separator) when the value names one; false with the
// reason otherwise. The value must be an absolute path on a drive that passes
// the Destination page's rules for the text (CheckDestinationText).
bool CheckDirArgument(const std::wstring& value, std::wstring& folder, std::wstring& errorText);

}  // namespace zel
