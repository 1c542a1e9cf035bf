// Whole files, directories, the process environment and console lines. Paths are UTF-8.
// Four functions throw: toNativePath, readFileBytes, syncFile and parentDirectory, each as its
// comment says; every other function reports failure as false or empty. A path holding a zero
// byte names no file: it is never cut short and handed to the system. Text that is not valid
// UTF-8 names no file either, on any platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "runtime/text.hpp"

namespace runtime {

// The UTF-8 path in the platform's own form (UTF-16 on Windows); nothing for text that is not
// valid UTF-8.
std::optional<std::filesystem::path> nativePathOf(std::string_view utf8Path);
// nativePathOf for a path the caller expects to be UTF-8: throws std::filesystem::filesystem_error
// for text that is not.
std::filesystem::path toNativePath(std::string_view utf8Path);
// True for an empty path and for one holding a zero byte: neither names a file, and the file and
// lock functions refuse both before the installed FileSystem sees them.
bool namesNoFile(std::string_view path);

// Throws vusk_runtime_exception: "file.read.limit" for a negative limit or a larger file,
// "file.read" when the file cannot be opened, sized or read in full. A path that is not UTF-8
// throws std::filesystem::filesystem_error (toNativePath's).
Bytes readFileBytes(const std::string& path, std::int64_t maxBytes);

// Creates or truncates the file and writes the bytes. The path must be 1..131068 bytes of
// valid UTF-8 without zero bytes; otherwise false and nothing is touched. After this, the
// function below and syncFile, lastWriteFailure (file_system.hpp) tells why one failed.
bool writeFileBytes(const std::string& path, const Bytes& bytes);
// writeFileBytes for bytes whose last `tailBytes` bytes `completeTail` fills in while the rest
// is on its way to the disk (see FileSystem::writeFileCompletingTail). The same bytes and the
// same outcome as completing the tail first; a refused path is refused before completeTail. An
// exception from completeTail is the caller's own and passes through.
bool writeFileBytesCompletingTail(const std::string& path, const Bytes& bytes, std::size_t tailBytes,
                                  const std::function<void()>& completeTail);

// Flushes the file's buffers to the disk; false for an empty path or one holding a zero byte, or
// when the file cannot be opened or flushed. A path that is not UTF-8 throws
// std::filesystem::filesystem_error (toNativePath's).
bool syncFile(const std::string& path);

// Moves `from` over `to` in one step; false when either path is empty or they are the same
// path, or when the move fails. The move is durable once the directory is flushed.
bool replaceFile(const std::string& from, const std::string& to);

// Flushes a directory's entries (names created, moved or removed in it) to the disk; false for
// an empty path or when the directory cannot be opened or flushed. A file system that does not
// flush directories (FileSystem::DirectorySync::kUnsupported) gives true: it writes moves through.
bool syncDirectory(const std::string& path);

// The directory that holds the path's last component ("." for a bare name), as a UTF-8 text. A
// path that is not UTF-8 throws std::filesystem::filesystem_error (toNativePath's).
std::string parentDirectory(const std::string& path);

// True when a regular file exists at the path. A definite absence, a directory, another file
// type or a path that cannot be converted gives false; a status that cannot be read (an I/O or
// permission error, a symbolic link loop) gives true, so that the caller's read reports the
// error instead of the file being taken for absent and replaced.
bool fileExists(const std::string& path);

void deleteFileQuietly(const std::string& path);

// Makes the directory and its missing parents, flushing the parent of each level it creates so
// that the new names survive a power cut (a level whose parent cannot be flushed is removed
// again, and nothing below it is made). The innermost level it finds already there (the
// directory itself when it exists) is flushed into its parent as well: a run killed before its
// own flush may have made it. Refuses the long-path, device and object namespaces, malformed
// UNC paths, oversized or invalid text; never reports.
void ensureDirectory(const std::string& path);

// The variable's value; empty when it is unset, empty, or fails a check.
std::string environmentVariable(const std::string& name);

// Writes the text and a line end, then flushes.
void printLine(std::ostream& stream, std::string_view text);

}  // namespace runtime
