// Exclusive locks on files, with a bounded wait for another holder, and the read of a file's two
// ends without the rest. Both go through the installed FileSystem (file_system.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/file_system.hpp"

namespace runtime {

// Takes the exclusive lock on the file (created empty when missing). While another holder has
// it, tries again after short sleeps for up to `waitMilliseconds`, then gives up: a holder that
// is stopped rather than ended keeps its lock, and the caller then fails instead of hanging.
// Null when the lock was not had; at once when the file cannot be opened or locked at all, or
// the path is empty, holds a zero byte or is not UTF-8. The lock is released when the returned
// object is destroyed. `last` (when given) gets the last attempt's answer: kBusy when another
// holder kept the lock throughout the wait, kUnavailable when the file cannot be opened or locked
// (the system's cause of a file that cannot be made is then noted, noteWriteFailure).
std::unique_ptr<FileSystem::Lock> lockFile(const std::string& path, std::int64_t waitMilliseconds,
                                           FileSystem::LockAttempt* last = nullptr);

// The file's size and its first `headBytes` and last `tailBytes` bytes. A path that names no
// file (empty, holding a zero byte, not UTF-8) is absent.
FileSystem::FileEnds readFileEnds(const std::string& path, std::size_t headBytes, std::size_t tailBytes);

}  // namespace runtime
