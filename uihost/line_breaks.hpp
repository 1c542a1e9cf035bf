// Event lines, diagnostics and the description are one line each, but the texts put into
// them (a provider name, a window id, a committed text) may hold line breaks.
#pragma once

#include "runtime/text.hpp"

namespace uihost {

// The text with each carriage return written as the two characters "\r" and each line feed
// as "\n"; every other byte, a backslash included, is kept. A text without line breaks is
// returned as it came, without a copy.
runtime::Text escapeLineBreaks(runtime::Text text);

}  // namespace uihost
