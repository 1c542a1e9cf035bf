#include "app/text_edit.hpp"

#include <cstdint>

#include "runtime/utf8.hpp"

namespace app {

runtime::Text editTextStep(runtime::Text value, const runtime::Text& typed, bool backspace) {
  if (backspace && !value.empty()) {
    value.resize(runtime::utf8LastCharacterStart(value));
  }
  std::size_t pos = 0;
  while (pos < typed.size()) {
    const auto byte = static_cast<std::uint8_t>(typed[pos]);
    const std::size_t length = runtime::utf8CharacterLength(typed, pos);
    if (length == 0) {
      ++pos;  // a malformed byte is dropped on its own; the walk resynchronises on the next
      continue;
    }
    const bool control = length == 1 && (byte < 32 || byte == 127);
    if (!control && value.size() + length <= kFieldByteLimit) value.append(typed, pos, length);
    pos += length;
  }
  return value;
}

}  // namespace app
