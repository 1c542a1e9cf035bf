// Win32 side of the file lock: LockFileEx on a handle of its own. Byte-range locks belong to
// the handle, so two handles conflict even in one process, and the system releases them when
// the process ends. The file is shared for reading, writing and deletion, so that every program
// on the directory can open it and the directory can still be removed between commits.
#include <windows.h>

#include <cstdint>
#include <filesystem>

#include "runtime/platform.hpp"

namespace runtime::platform {

LockAttempt tryLockFile(const std::filesystem::path& path, std::intptr_t& handle) {
  HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // Another program that opened the file without sharing it (a scanner, a backup) lets go soon.
    return ::GetLastError() == ERROR_SHARING_VIOLATION ? LockAttempt::kBusy : LockAttempt::kUnavailable;
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
