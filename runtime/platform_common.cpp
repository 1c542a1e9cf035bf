// The parts of the platform seam that are the same on both sides.
#include <algorithm>
#include <cerrno>
#include <ctime>

#include "runtime/platform.hpp"

namespace runtime::platform {

namespace {

// Closes a file opened for reading when it leaves scope, also when a buffer cannot be had: a
// handle left open would, on Windows, hold the file against every later move over it.
class ReadHandle {
 public:
  explicit ReadHandle(std::intptr_t handle) : handle_(handle) {}
  ~ReadHandle() { closeReadHandle(handle_); }
  ReadHandle(const ReadHandle&) = delete;
  ReadHandle& operator=(const ReadHandle&) = delete;
  std::intptr_t get() const { return handle_; }

 private:
  std::intptr_t handle_;
};

}  // namespace

FileRead readWholeFile(const std::filesystem::path& path, std::int64_t maxBytes, std::vector<std::uint8_t>& bytes) {
  std::intptr_t handle = 0;
  std::int64_t size = 0;
  FileRead result = openForReading(path, handle, size);
  if (result != FileRead::kRead) return result;
  const ReadHandle file(handle);
  if (size > maxBytes) return FileRead::kTooLarge;
  bytes.assign(static_cast<std::size_t>(size), 0);
  return readExactAt(file.get(), 0, bytes) ? FileRead::kRead : FileRead::kIncomplete;
}

FileRead readFileEnds(const std::filesystem::path& path, std::size_t headBytes, std::size_t tailBytes,
                      std::int64_t& size, std::vector<std::uint8_t>& head, std::vector<std::uint8_t>& tail) {
  std::intptr_t handle = 0;
  FileRead result = openForReading(path, handle, size);
  if (result != FileRead::kRead) return result;
  const ReadHandle file(handle);
  const auto length = static_cast<std::uint64_t>(size);
  head.assign(static_cast<std::size_t>(std::min<std::uint64_t>(length, headBytes)), 0);
  tail.assign(static_cast<std::size_t>(std::min<std::uint64_t>(length, tailBytes)), 0);
  const bool read =
      readExactAt(file.get(), 0, head) && readExactAt(file.get(), size - static_cast<std::int64_t>(tail.size()), tail);
  return read ? FileRead::kRead : FileRead::kIncomplete;
}

void sleepSlice(std::int64_t milliseconds) {
  struct timespec time {};
  time.tv_sec = 0;
  time.tv_nsec = static_cast<long>(milliseconds * 1000000);
  // The same structure is request and remainder: after EINTR it holds what is left.
  while (nanosleepOnce(&time, &time) != 0 && errno == EINTR) {
  }
}

}  // namespace runtime::platform
