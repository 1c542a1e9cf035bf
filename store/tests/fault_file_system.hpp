// A FileSystem for crash tests: it wraps the disk, counts every operation that changes or
// flushes something (writes, file flushes, moves, deletes, directory creations, directory
// flushes) or takes a lock, and at a chosen operation either fails that one operation or
// "crashes" (that operation and every later one is refused), optionally leaving a write cut short.
//
// It also models what a power cut leaves, as strict POSIX allows it: a file's data survives as
// it was last flushed (data never flushed comes back empty), and a name created, moved or
// removed in a directory survives only once that directory is flushed; a directory whose own
// name did not survive is gone with everything in it. The disk's own flushes are not called:
// the model decides what is durable, and the tests run faster without them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/file_system.hpp"
#include "runtime/testing/forwarding_file_system.hpp"

namespace store::testing {

class FaultFileSystem final : public runtime::testing::ForwardingFileSystem {
 public:
  enum class Mode { kNone, kFailOne, kCrash };

  explicit FaultFileSystem(runtime::FileSystem& disk = runtime::diskFileSystem())
      : ForwardingFileSystem(disk), disk_(disk) {}

  // Operation `index` (0-based over the counted operations) fails, or starts the crash. A
  // failing write first writes the first `tornBytes` bytes when given.
  void injectAt(int index, Mode mode, std::optional<std::size_t> tornBytes = std::nullopt);
  // The same for the first operation whose log line begins with `operation` ("replace ", ...).
  void injectAt(const std::string& operation, Mode mode, std::optional<std::size_t> tornBytes = std::nullopt);
  // A write or flush the fault refuses fails for this cause, as the system would tell it.
  void failWritesWith(runtime::WriteFailure cause) { cause_ = cause; }
  // Makes fileExists report the path as present and every read of it fail, as a file whose
  // status cannot be read would.
  void makeUnreadable(const std::string& path) { unreadable_.push_back(path); }

  // The stopped program is followed by a new one on the same disk, with nothing in between (no
  // power cut): the fault is cleared, and the model goes on from what the first one left.
  void restart();

  int operationCount() const { return operations_; }
  bool crashed() const { return crashed_; }
  // One line per counted operation: "write <path>", "sync <path>", "replace <from> -> <to>",
  // "delete <path>", "create directory <path>", "sync directory <path>", "lock <path>" (a refused
  // lock is one that cannot be had; the lock file itself is not part of the model).
  const std::vector<std::string>& log() const { return log_; }

  // Puts the disk in the state a power cut leaves. The names changed by the first
  // `namesKeptThrough` operations also survive, as when the system wrote a directory back on
  // its own before the cut; by default only flushed directories keep their changes.
  void powerCut(int namesKeptThrough = 0);

  runtime::Bytes readFile(const std::string& path, std::int64_t maxBytes) override;
  bool writeFile(const std::string& path, const runtime::Bytes& bytes) override;
  bool syncFile(const std::string& path) override;
  bool replaceFile(const std::string& from, const std::string& to) override;
  void deleteFile(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  DirectoryCreation createDirectory(const std::string& path) override;
  DirectorySync syncDirectory(const std::string& path) override;
  LockAttempt tryLockFile(const std::string& path, std::unique_ptr<Lock>& lock) override;

 private:
  // A file's data or a directory, as one name or another refers to it.
  struct Node {
    bool directory = false;
    std::optional<runtime::Bytes> flushed;  // a file's last flushed data
  };
  // A name in a directory set to a node (or removed, with no node) by operation `operation`.
  struct NameChange {
    int operation;
    std::string name;
    std::optional<int> node;
  };
  struct Directory {
    std::map<std::string, int> initial;  // the names found when the directory was first seen
    std::vector<NameChange> changes;
    int flushedBefore = 0;    // changes by earlier operations are durable
    std::optional<int> node;  // set for a directory created here
  };

  // True when the operation may go ahead; false when it is refused by the injected fault.
  bool admit(const std::string& description);
  Directory& directoryOf(const std::string& directory);
  // The node the name refers to now, or none.
  std::optional<int> nodeAt(const std::string& path);
  void rename(const std::string& path, std::optional<int> node);
  int newNode(bool directory);
  void restore(const std::string& path, const Directory& directory, int namesKeptThrough);

  runtime::FileSystem& disk_;
  int operations_ = 0;
  int faultAt_ = -1;
  std::optional<std::string> faultOperation_;
  Mode mode_ = Mode::kNone;
  std::optional<std::size_t> tornBytes_;
  runtime::WriteFailure cause_ = runtime::WriteFailure::kNone;
  bool crashed_ = false;
  bool tornPending_ = false;
  std::vector<std::string> unreadable_;
  std::vector<std::string> log_;
  std::vector<Node> nodes_;
  std::map<std::string, Directory> directories_;  // by normalised path
};

}  // namespace store::testing
