// The disk's file lock and partial read (the FileSystem defaults), and the bounded wait.
#include "runtime/file_lock.hpp"

#include <chrono>
#include <filesystem>
#include <optional>
#include <system_error>

#include "runtime/files.hpp"
#include "runtime/platform.hpp"

namespace runtime {

namespace {

// The sleep between two attempts at a lock another holder has.
constexpr std::int64_t kLockRetryMilliseconds = 10;

class DiskLock final : public FileSystem::Lock {
 public:
  explicit DiskLock(std::intptr_t handle) : handle_(handle) {}
  ~DiskLock() override { platform::releaseFileLock(handle_); }
  DiskLock(const DiskLock&) = delete;
  DiskLock& operator=(const DiskLock&) = delete;

 private:
  std::intptr_t handle_;
};

}  // namespace

FileSystem::Lock::~Lock() = default;

FileSystem::LockAttempt FileSystem::tryLockFile(const std::string& path, std::unique_ptr<Lock>& lock) {
  const std::optional<std::filesystem::path> native = nativePathOf(path);
  if (!native.has_value()) return LockAttempt::kUnavailable;  // not UTF-8: it names no file
  std::intptr_t handle = 0;
  switch (platform::tryLockFile(*native, handle)) {
    case platform::LockAttempt::kTaken:
      try {
        lock = std::make_unique<DiskLock>(handle);
      } catch (...) {
        // Out of memory for its holder: a lock kept would keep every later commit out.
        platform::releaseFileLock(handle);
        throw;
      }
      return LockAttempt::kTaken;
    case platform::LockAttempt::kBusy:
      return LockAttempt::kBusy;
    case platform::LockAttempt::kUnavailable:
      break;
  }
  return LockAttempt::kUnavailable;
}

FileSystem::FileEnds FileSystem::readFileEnds(const std::string& path, std::size_t headBytes, std::size_t tailBytes) {
  FileEnds ends;
  const std::optional<std::filesystem::path> converted = nativePathOf(path);
  if (!converted.has_value()) return ends;  // not UTF-8: it names no file
  const std::filesystem::path& native = *converted;
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(native, error);
  if (error && (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)) return ends;
  if (!error && !std::filesystem::exists(status)) return ends;
  ends.status = FileEnds::Status::kUnreadable;
  if (error || !std::filesystem::is_regular_file(status)) return ends;
  std::int64_t size = 0;
  if (platform::readFileEnds(native, headBytes, tailBytes, size, ends.head, ends.tail) != platform::FileRead::kRead) {
    return ends;
  }
  ends.size = size;
  ends.status = FileEnds::Status::kRead;
  return ends;
}

std::unique_ptr<FileSystem::Lock> lockFile(const std::string& path, std::int64_t waitMilliseconds,
                                           FileSystem::LockAttempt* last) {
  FileSystem::LockAttempt ignored = FileSystem::LockAttempt::kUnavailable;
  FileSystem::LockAttempt& attempt = last != nullptr ? *last : ignored;
  attempt = FileSystem::LockAttempt::kUnavailable;
  if (namesNoFile(path)) return nullptr;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
  FileSystem& fileSystem = currentFileSystem();
  for (;;) {
    std::unique_ptr<FileSystem::Lock> lock;
    attempt = fileSystem.tryLockFile(path, lock);
    if (attempt == FileSystem::LockAttempt::kTaken && lock != nullptr) return lock;
    if (attempt == FileSystem::LockAttempt::kTaken) attempt = FileSystem::LockAttempt::kUnavailable;
    if (attempt != FileSystem::LockAttempt::kBusy || std::chrono::steady_clock::now() >= deadline) return nullptr;
    platform::sleepSlice(kLockRetryMilliseconds);
  }
}

FileSystem::FileEnds readFileEnds(const std::string& path, std::size_t headBytes, std::size_t tailBytes) {
  if (namesNoFile(path)) return {};
  return currentFileSystem().readFileEnds(path, headBytes, tailBytes);
}

}  // namespace runtime
