// POSIX side of the platform seam.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "runtime/file_system.hpp"
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

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return noteLastWriteFailure();
    if (written == 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

bool noteLastWriteFailure() {
  const int error = errno;
  if (error == ENOSPC || error == EDQUOT) {
    noteWriteFailure(WriteFailure::kNoRoom);
  } else {
    const bool refused = error == EACCES || error == EPERM || error == EROFS;
    noteWriteFailure(refused ? WriteFailure::kNoPermission : WriteFailure::kOther);
  }
  return false;
}

bool writeFileInParts(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size,
                      std::size_t tailBytes, const std::function<void()>& completeTail) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return noteLastWriteFailure();
  const std::size_t body = size - tailBytes;
  bool written = writeAll(fd, data, body);
#ifdef SYNC_FILE_RANGE_WRITE
  // Only a hint to start writing back now; durability still comes from the flush that follows.
  if (written && body > 0) ::sync_file_range(fd, 0, static_cast<off_t>(body), SYNC_FILE_RANGE_WRITE);
#endif
  completeTail();
  written = written && writeAll(fd, data + body, tailBytes);
  const bool closed = ::close(fd) == 0 || noteLastWriteFailure();
  return written && closed;
}

bool flushFile(const std::filesystem::path& path) { return fsyncPath(path, O_WRONLY) || noteLastWriteFailure(); }

bool moveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

DirectoryFlush flushDirectory(const std::filesystem::path& path) {
  return fsyncPath(path, O_RDONLY | O_DIRECTORY) ? DirectoryFlush::kFlushed : DirectoryFlush::kFailed;
}

bool removePath(const std::filesystem::path& path) {
  if (::unlink(path.c_str()) == 0) return true;
  // Linux answers EISDIR for a directory, other systems EPERM.
  return (errno == EISDIR || errno == EPERM) && ::rmdir(path.c_str()) == 0;
}

bool makeDirectory(const std::filesystem::path& path) { return ::mkdir(path.c_str(), 0777) == 0; }

FileRead openForReading(const std::filesystem::path& path, std::intptr_t& handle, std::int64_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileRead::kUnopenable;
  struct stat status {};
  const bool known = ::fstat(fd, &status) == 0;
  if (known && !S_ISDIR(status.st_mode) && status.st_size >= 0) {
    handle = fd;
    size = status.st_size;
    return FileRead::kRead;
  }
  ::close(fd);
  // A directory opens for reading here; Windows refuses it, and both report it alike.
  return known && S_ISDIR(status.st_mode) ? FileRead::kUnopenable : FileRead::kSizeUnknown;
}

bool readExactAt(std::intptr_t handle, std::int64_t offset, std::vector<std::uint8_t>& bytes) {
  const auto fd = static_cast<int>(handle);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t read = ::pread(fd, bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) return false;
    done += static_cast<std::size_t>(read);
  }
  return true;
}

void closeReadHandle(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

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
