// One frame of editing a single-line text field: BACKSPACE removes the last character, typed
// characters are appended while the field stays within its byte limit.
#pragma once

#include <cstddef>

#include "runtime/text.hpp"

namespace app {

// Longest value typing can produce, in bytes.
inline constexpr std::size_t kFieldByteLimit = 120;

// The value after one frame of editing. Backspace first removes the last UTF-8 character (a
// value made only of continuation bytes becomes empty). Then each character of typed is
// appended whole, or not at all: control characters (below 32, and 127) are dropped, and so are
// malformed UTF-8 sequences, so the field always stays valid UTF-8 and never grows past
// kFieldByteLimit by typing.
runtime::Text editTextStep(runtime::Text value, const runtime::Text& typed, bool backspace);

}  // namespace app
