// Texts the store keeps for as long as a row or a preparation lives (canonical signature lines,
// above all). A signature line is built in storage reserved for the longest line its fields could
// make, several times what a typical line needs; kept as built, thousands of them would fill the
// processor caches with unused bytes. Nothing here fails but by running out of memory.
#pragma once

#include <utility>

#include "runtime/text.hpp"

namespace retained {

// The text in storage of its own length when more than half of what it holds is unused; as it is
// otherwise, so that a long line (an image signature carries its payload) is never copied.
inline runtime::Text keptText(runtime::Text&& text) {
  if (text.capacity() / 2 > text.size()) return runtime::Text(text.data(), text.size());
  return std::move(text);
}

}  // namespace retained
