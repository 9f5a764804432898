// Text the builder prints, made safe for a terminal. Names and values come from
// product folders and setup.exe files that anyone may have made: a control
// character in them could retitle the window, clear the screen or hide the rest
// of a line. Portable.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// The UTF-8 text with what a terminal would act on instead of show written as
// escapes: C0 controls and DEL as \xNN, C1 controls, the line and paragraph
// separators and the bidirectional controls (which can reorder what a line
// shows) as \uNNNN, and every byte that is not part of valid UTF-8 as \xNN.
// Everything else, backslashes included, stays as it is.
std::string TerminalText(std::string_view utf8);

}  // namespace zel
