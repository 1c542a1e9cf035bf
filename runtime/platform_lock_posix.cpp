// POSIX side of the file lock: flock on a descriptor of its own. flock locks belong to the open
// file, so two opens conflict even in one process (fcntl locks would not), and the system
// releases the lock when the process ends, however it ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>

#include "runtime/platform.hpp"

namespace runtime::platform {

LockAttempt tryLockFile(const std::filesystem::path& path, std::intptr_t& handle) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    // A lock file that is there already can still be locked where it cannot be written; one that
    // cannot be made is told by why its creation failed.
    const int refusal = errno;
    if (refusal == EACCES || refusal == EROFS) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      errno = refusal;
      noteLastWriteFailure();
      return LockAttempt::kUnavailable;
    }
  }
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      handle = fd;
      return LockAttempt::kTaken;
    }
    if (errno != EINTR) break;
  }
  const bool busy = errno == EWOULDBLOCK;
  ::close(fd);
  return busy ? LockAttempt::kBusy : LockAttempt::kUnavailable;
}

void releaseFileLock(std::intptr_t handle) {
  const int fd = static_cast<int>(handle);
  ::flock(fd, LOCK_UN);
  ::close(fd);
}

}  // namespace runtime::platform
