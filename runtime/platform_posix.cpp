// POSIX side of the platform seam.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "runtime/platform.hpp"
#include "runtime/text.hpp"

namespace runtime::platform {

namespace {

bool fsyncPath(const std::filesystem::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  return synced && closed;
}

// The number of UTF-16 units of well-formed UTF-8: four-byte sequences need a surrogate pair.
std::size_t utf16Units(const std::string& utf8) {
  std::size_t units = 0;
  for (unsigned char byte : utf8) {
    if ((byte & 0xC0u) != 0x80u) ++units;
    if (byte >= 0xF0u) ++units;
  }
  return units;
}

}  // namespace

bool flushFile(const std::filesystem::path& path) { return fsyncPath(path, O_WRONLY); }

bool moveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool flushDirectory(const std::filesystem::path& path) { return fsyncPath(path, O_RDONLY | O_DIRECTORY); }

std::string environmentValue(const std::string& name) {
  // The Windows side reads at most 32767 UTF-16 units plus the terminator; the same limit here
  // keeps a value that works on one platform from silently failing on the other.
  constexpr std::size_t kMaxValueUnits = 32767;
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return {};
  std::string text(value);
  if (text.empty() || !isStrictUtf8(text) || utf16Units(text) > kMaxValueUnits) return {};
  return text;
}

}  // namespace runtime::platform
