// Win32 side of the file lock: LockFileEx on a handle of its own. Byte-range locks belong to
// the handle, so two handles conflict even in one process, and the system releases them when
// the process ends. The file is shared for reading, writing and deletion, so that every program
// on the directory can open it and the directory can still be removed between commits.
#include <windows.h>

#include <cstdint>
#include <filesystem>

#include "runtime/platform.hpp"

namespace runtime::platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openLockFile(const std::filesystem::path& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  // LockFileEx needs only one of the two rights: a lock file that is there already can still be
  // locked where it cannot be written (a read-only file).
  // One that cannot be made is told by why its creation failed.
  if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    file = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) ::SetLastError(ERROR_ACCESS_DENIED);
  }
  return file;
}

}  // namespace

LockAttempt tryLockFile(const std::filesystem::path& path, std::intptr_t& handle) {
  HANDLE file = openLockFile(path);
  if (file == INVALID_HANDLE_VALUE) {
    // Another program that opened the file without sharing it (a scanner, a backup) lets go soon.
    if (::GetLastError() == ERROR_SHARING_VIOLATION) return LockAttempt::kBusy;
    noteLastWriteFailure();
    return LockAttempt::kUnavailable;
  }
  OVERLAPPED start{};
  if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start) != 0) {
    handle = reinterpret_cast<std::intptr_t>(file);
    return LockAttempt::kTaken;
  }
  const DWORD error = ::GetLastError();
  ::CloseHandle(file);
  return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? LockAttempt::kBusy : LockAttempt::kUnavailable;
}

void releaseFileLock(std::intptr_t handle) {
  HANDLE file = reinterpret_cast<HANDLE>(handle);
  OVERLAPPED start{};
  ::UnlockFileEx(file, 0, 1, 0, &start);
  ::CloseHandle(file);
}

}  // namespace runtime::platform
