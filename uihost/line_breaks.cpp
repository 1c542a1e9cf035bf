#include "uihost/line_breaks.hpp"

namespace uihost {

runtime::Text escapeLineBreaks(runtime::Text text) {
  if (text.find_first_of("\r\n") == runtime::Text::npos) return text;
  runtime::Text result;
  result.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\r') {
      result += "\\r";
    } else if (c == '\n') {
      result += "\\n";
    } else {
      result.push_back(c);
    }
  }
  return result;
}

}  // namespace uihost
