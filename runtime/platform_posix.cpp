// POSIX side of the platform seam.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "runtime/platform.hpp"
#include "runtime/text.hpp"

namespace runtime::platform {

namespace {

bool fsyncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  return synced && closed;
}

}  // namespace

bool flushFile(const std::string& path) { return fsyncPath(path, O_WRONLY); }

bool moveReplacing(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return false;
  // rename is atomic but not durable until the directory entry itself reaches the disk.
  std::string directory = std::filesystem::path(to).parent_path().string();
  if (directory.empty()) directory = ".";
  return fsyncPath(directory, O_RDONLY | O_DIRECTORY);
}

std::string environmentValue(const std::string& name) {
  constexpr std::size_t kMaxValueBytes = 131068;
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return {};
  std::string text(value);
  if (text.empty() || text.size() > kMaxValueBytes || !isStrictUtf8(text)) return {};
  return text;
}

}  // namespace runtime::platform
