// Windows reports a file as in use while another program holds it open without the sharing a
// call needs: a virus scanner or an indexer that opens a file just written, or a second program
// reading the snapshot. Such a hold passes within moments, so the Win32 side tries the call
// again a few times before it reports failure. The decision is kept here, apart from the calls,
// so that it is the same on every build and can be tested anywhere.
#pragma once

#include <cstdint>
#include <functional>

namespace runtime::platform {

// The Windows error codes concerned, by number so that portable code can name them.
inline constexpr std::uint32_t kErrorInvalidFunction = 1;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;

// How often a call held up by another program is tried, and the pause between two tries: about
// a quarter of a second in all, long enough for a scanner to let go of a small file.
inline constexpr int kSharingTries = 10;
inline constexpr std::int64_t kSharingPauseMilliseconds = 25;

// ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION and ERROR_ACCESS_DENIED (which Windows also
// answers for a file whose deletion is pending while another handle is still open). Every other
// error is final at once.
bool isPassingSharingError(std::uint32_t error);

// Runs `attempt`, which answers 0 when it succeeded and the system's error code otherwise, until
// it succeeds, fails with an error that does not pass, or has run kSharingTries times, sleeping
// kSharingPauseMilliseconds between two runs. Answers the last attempt's code.
std::uint32_t retryWhileShared(const std::function<std::uint32_t()>& attempt);

// True for the errors with which a file system that cannot flush a directory refuses the flush
// of a directory handle it did open: ERROR_INVALID_FUNCTION and ERROR_ACCESS_DENIED (FAT and
// exFAT drives, network shares).
bool isDirectoryFlushRefusal(std::uint32_t error);

}  // namespace runtime::platform
