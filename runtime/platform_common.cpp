// The parts of the platform seam that are the same on both sides.
#include <algorithm>
#include <cerrno>
#include <ctime>

#include "runtime/platform.hpp"

namespace runtime::platform {

FileRead readWholeFile(const std::filesystem::path& path, std::int64_t maxBytes, std::vector<std::uint8_t>& bytes) {
  std::intptr_t handle = 0;
  std::int64_t size = 0;
  FileRead result = openForReading(path, handle, size);
  if (result != FileRead::kRead) return result;
  if (size > maxBytes) {
    result = FileRead::kTooLarge;
  } else {
    bytes.assign(static_cast<std::size_t>(size), 0);
    if (!readExactAt(handle, 0, bytes)) result = FileRead::kIncomplete;
  }
  closeReadHandle(handle);
  return result;
}

FileRead readFileEnds(const std::filesystem::path& path, std::size_t headBytes, std::size_t tailBytes,
                      std::int64_t& size, std::vector<std::uint8_t>& head, std::vector<std::uint8_t>& tail) {
  std::intptr_t handle = 0;
  FileRead result = openForReading(path, handle, size);
  if (result != FileRead::kRead) return result;
  const auto length = static_cast<std::uint64_t>(size);
  head.assign(static_cast<std::size_t>(std::min<std::uint64_t>(length, headBytes)), 0);
  tail.assign(static_cast<std::size_t>(std::min<std::uint64_t>(length, tailBytes)), 0);
  if (!readExactAt(handle, 0, head) || !readExactAt(handle, size - static_cast<std::int64_t>(tail.size()), tail)) {
    result = FileRead::kIncomplete;
  }
  closeReadHandle(handle);
  return result;
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
