// The operating-system calls of the runtime: flushing and replacing files, the process
// environment and sleeping. platform_win32.cpp and platform_posix.cpp are the two sides;
// nothing else in the portable code talks to the OS directly (file streams and
// std::filesystem aside, which are portable already).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace runtime::platform {

// The file functions take paths already converted by toNativePath (files.hpp), which refuses a
// text that is not UTF-8 alike on both platforms.

// Creates or truncates the file and writes size bytes, the last tailBytes of them only after
// completeTail has run: the rest is written first and its write-back started where the system
// offers that (sync_file_range on Linux). True when the file holds exactly the bytes; a creation,
// write or close that fails notes why (noteWriteFailure, file_system.hpp).
bool writeFileInParts(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size,
                      std::size_t tailBytes, const std::function<void()>& completeTail);

// Forces the file's buffers to disk. False when the file cannot be opened for writing or
// the flush fails, noting why (noteWriteFailure); a missing file is not created.
bool flushFile(const std::filesystem::path& path);

// Moves `from` over `to` in one step, replacing `to`. Windows returns once the move is written
// through (MOVEFILE_WRITE_THROUGH); on POSIX it is durable once the directory is flushed.
bool moveReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Flushes the directory's entries to disk: an fsync of the directory on POSIX; on Windows a
// FlushFileBuffers of a handle to the directory (opened with FILE_FLAG_BACKUP_SEMANTICS).
// kUnsupported only on Windows: the directory opened but its file system refuses to flush a
// directory (FAT, exFAT, network shares); there the moves are written through instead.
enum class DirectoryFlush { kFlushed, kUnsupported, kFailed };
DirectoryFlush flushDirectory(const std::filesystem::path& path);

// Removes the file, or the directory when it is empty. True when the name is gone.
bool removePath(const std::filesystem::path& path);

// Creates the one directory; false when anything is already there or the creation fails.
bool makeDirectory(const std::filesystem::path& path);

// Reads the whole file into `bytes` when it holds at most maxBytes. A directory is unopenable.
enum class FileRead { kRead, kUnopenable, kSizeUnknown, kTooLarge, kIncomplete };
FileRead readWholeFile(const std::filesystem::path& path, std::int64_t maxBytes, std::vector<std::uint8_t>& bytes);

// Reads the file's size and its first `headBytes` and last `tailBytes` bytes (all of it when it is
// shorter) without the rest, opened as readWholeFile opens it. A directory is unopenable.
FileRead readFileEnds(const std::filesystem::path& path, std::size_t headBytes, std::size_t tailBytes,
                      std::int64_t& size, std::vector<std::uint8_t>& head, std::vector<std::uint8_t>& tail);

// What each side gives the two reads above, which platform_common.cpp writes once over them.
// Opens the file for reading and finds its size: kRead sets `handle`, which closeReadHandle gives
// back, and `size`; kUnopenable (the file is missing, cannot be opened or is a directory) and
// kSizeUnknown leave nothing open.
FileRead openForReading(const std::filesystem::path& path, std::intptr_t& handle, std::int64_t& size);
// Reads exactly bytes.size() bytes from the offset of a handle from openForReading.
bool readExactAt(std::intptr_t handle, std::int64_t offset, std::vector<std::uint8_t>& bytes);
void closeReadHandle(std::intptr_t handle);

// The value of an environment variable, or empty when it is unset, empty, not valid UTF-8
// (an unpaired surrogate on Windows) or longer than 32767 UTF-16 units. The name has already
// been checked for length, zero bytes and UTF-8.
std::string environmentValue(const std::string& name);

// Sleeps one slice; an interrupted sleep is resumed for the time it reports as remaining.
void sleepSlice(std::int64_t milliseconds);

// The system's nanosleep, as sleepSlice calls it. It is alone in platform_nanosleep.cpp so that a
// test can link its own definition in its place (a file of a static library is only linked when
// something still needs it); the program has no way to replace it.
int nanosleepOnce(const struct timespec* request, struct timespec* remain);

}  // namespace runtime::platform

namespace runtime::platform {

// Notes why the write, creation or flush of a file just failed, as the system's last error tells
// it (noteWriteFailure); false, for the failure.
bool noteLastWriteFailure();

// What one attempt at an exclusive file lock found.
enum class LockAttempt { kTaken, kBusy, kUnavailable };

// Opens the file, creating it empty when it is missing, and tries once, without waiting, to take
// an exclusive lock on it that conflicts with every other open of the file, in this process or
// another: flock on POSIX, LockFileEx on Windows. kTaken sets `handle`, which releaseFileLock
// gives back; kBusy: another open holds the lock; kUnavailable: the file cannot be opened or
// locked at all (a missing or read-only directory, a file system without locks), and why a file
// that could not be made was not is noted (noteWriteFailure).
LockAttempt tryLockFile(const std::filesystem::path& path, std::intptr_t& handle);

// Releases the lock and closes the file of a handle from tryLockFile.
void releaseFileLock(std::intptr_t handle);

}  // namespace runtime::platform
