// Key and button name tables of the polling queries.
#include "canvas/key_names.hpp"

#include <array>
#include <string>

namespace canvas {
namespace {

std::string lowerAscii(std::string_view name) {
  std::string lowered(name);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

struct NamedKey {
  std::string_view name;
  std::int32_t virtualKey;
};

constexpr std::array<NamedKey, 16> kNamedKeys = {{
    {"left", 0x25},
    {"up", 0x26},
    {"right", 0x27},
    {"down", 0x28},
    {"space", 0x20},
    {"enter", 0x0D},
    {"return", 0x0D},
    {"tab", 0x09},
    {"backspace", 0x08},
    {"home", 0x24},
    {"end", 0x23},
    {"pageup", 0x21},
    {"pagedown", 0x22},
    {"escape", 0x1B},
    {"esc", 0x1B},
    {"shift", 0x10},
}};

}  // namespace

std::int32_t virtualKeyForName(std::string_view name) {
  const std::string key = lowerAscii(name);
  if (key.size() == 1) {
    const char c = key[0];
    if (c >= 'a' && c <= 'z') return 0x41 + (c - 'a');
    if (c >= '0' && c <= '9') return 0x30 + (c - '0');
    return 0;
  }
  if (key.size() == 2 && key[0] == 'f' && key[1] >= '1' && key[1] <= '9') return 0x70 + (key[1] - '1');
  if (key.size() == 3 && key[0] == 'f' && key[1] == '1' && key[2] >= '0' && key[2] <= '2') {
    return 0x79 + (key[2] - '0');
  }
  for (const NamedKey& named : kNamedKeys) {
    if (key == named.name) return named.virtualKey;
  }
  return 0;
}

std::int32_t virtualButtonForName(std::string_view name) {
  const std::string button = lowerAscii(name);
  if (button == "left" || button == "primary" || button == "l") return 0x01;     // VK_LBUTTON
  if (button == "right" || button == "secondary" || button == "r") return 0x02;  // VK_RBUTTON
  if (button == "middle" || button == "m") return 0x04;                          // VK_MBUTTON
  return 0;
}

}  // namespace canvas
