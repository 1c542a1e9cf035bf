// The file operations the runtime's durable users depend on, behind one interface so that
// tests can fail or cut off any single operation (see store crash tests). The functions of
// files.hpp check their arguments and then call the installed FileSystem; the default one
// is the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "runtime/text.hpp"

namespace runtime {

class FileSystem {
 public:
  virtual ~FileSystem();

  // Whole-file read. Throws vusk_runtime_exception ("file.read", "file.read.limit").
  // maxBytes is not negative here.
  virtual Bytes readFile(const std::string& path, std::int64_t maxBytes) = 0;
  // Creates or truncates the file and writes the bytes; true when it now holds exactly them. This
  // and the two below note why a write, creation or flush failed, where the system tells it
  // (noteWriteFailure).
  virtual bool writeFile(const std::string& path, const Bytes& bytes) = 0;
  // writeFile for bytes whose last `tailBytes` are filled in by `completeTail` (which the
  // caller's bytes are changed by). The disk writes the rest first and starts its write-back,
  // so that completing the tail overlaps the device's work; by default the tail is completed
  // and then writeFile called. completeTail runs at most once, and may not run on failure.
  virtual bool writeFileCompletingTail(const std::string& path, const Bytes& bytes, std::size_t tailBytes,
                                       const std::function<void()>& completeTail);
  // Flushes the file's buffers to the disk.
  virtual bool syncFile(const std::string& path) = 0;
  // Moves `from` over `to`, replacing it in one step. On POSIX the new name is durable only once
  // the directory is flushed (syncDirectory); Windows writes the move through before returning.
  virtual bool replaceFile(const std::string& from, const std::string& to) = 0;
  // Removes the file (or empty directory); failures are ignored.
  virtual void deleteFile(const std::string& path) = 0;
  // True for a regular file and for a path whose status cannot be read (so that the read
  // that follows reports the error); false for a definite absence or another file type.
  virtual bool fileExists(const std::string& path) = 0;

  // The two directory operations default to the disk's, so that a wrapper that only refuses
  // file operations need not forward them.
  //
  // Creates the one directory (its parent must exist). kPresent: a directory was already there;
  // kUnavailable: anything else there, or the creation failed.
  enum class DirectoryCreation { kCreated, kPresent, kUnavailable };
  virtual DirectoryCreation createDirectory(const std::string& path);
  // Flushes the directory's own entries to the disk: the names created, moved into it or
  // removed from it since, a new subdirectory's among them. kUnsupported: the directory opened
  // but its file system does not flush directories, which Windows answers for FAT and exFAT
  // drives and network shares; their moves are written through instead, so callers take it as
  // done. POSIX answers only kFlushed or kFailed.
  enum class DirectorySync { kFlushed, kUnsupported, kFailed };
  virtual DirectorySync syncDirectory(const std::string& path);

  // The lock and the partial read below also default to the disk's.
  //
  // An exclusive lock on a file, held until the object is destroyed.
  class Lock {
   public:
    virtual ~Lock();
  };
  // Opens the file, creating it empty when missing, and tries once, without waiting, to lock it
  // exclusively against every other holder, in this process or another. kTaken sets `lock`;
  // kBusy: someone else holds it; kUnavailable: the file cannot be opened or locked.
  enum class LockAttempt { kTaken, kBusy, kUnavailable };
  virtual LockAttempt tryLockFile(const std::string& path, std::unique_ptr<Lock>& lock);

  // The size of a file and its first and last bytes, read without the rest.
  struct FileEnds {
    enum class Status { kAbsent, kRead, kUnreadable };
    Status status = Status::kAbsent;
    std::int64_t size = 0;
    Bytes head;  // the first min(size, headBytes) bytes
    Bytes tail;  // the last min(size, tailBytes) bytes
  };
  // kAbsent for a definite absence; kUnreadable when the file is there (or its status cannot be
  // read) but it cannot be opened, sized or read, or it is not a regular file.
  virtual FileEnds readFileEnds(const std::string& path, std::size_t headBytes, std::size_t tailBytes);
};

// Why a file could not be created, written or flushed, as the system told it.
enum class WriteFailure { kNone, kNoRoom, kNoPermission, kOther };
// Why the calling thread's last write, creation or flush of a file (writeFileBytes,
// writeFileBytesCompletingTail, syncFile) failed: kNone once one goes through, and for a failure
// whose cause the system did not name.
WriteFailure lastWriteFailure();
// Records the cause of a failed write, creation or flush for the calling thread; FileSystem
// implementations call it where the system tells why.
void noteWriteFailure(WriteFailure failure);

// The real file system.
FileSystem& diskFileSystem();

// The file system in use: the disk unless a test installed another.
FileSystem& currentFileSystem();

// Installs a file system for its lifetime and restores the previous one afterwards.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(FileSystem& fileSystem);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  FileSystem* previous_;
};

}  // namespace runtime
