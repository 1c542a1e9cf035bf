// A FileSystem for crash tests: it wraps the disk, counts every write, flush, move and delete,
// and at a chosen operation either fails that one operation or "crashes" (that operation and
// every later one is refused), optionally leaving a write cut short. It also remembers each
// file's last flushed contents so that a power cut can put them back and drop unflushed data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/file_system.hpp"

namespace store::testing {

class FaultFileSystem final : public runtime::FileSystem {
 public:
  enum class Mode { kNone, kFailOne, kCrash };

  explicit FaultFileSystem(runtime::FileSystem& disk = runtime::diskFileSystem()) : disk_(disk) {}

  // Operation `index` (0-based over writes, flushes, moves and deletes) fails, or starts the
  // crash. A failing write first writes the first `tornBytes` bytes when given.
  void injectAt(int index, Mode mode, std::optional<std::size_t> tornBytes = std::nullopt);
  // Makes fileExists report the path as present and every read of it fail, as a file whose
  // status cannot be read would.
  void makeUnreadable(const std::string& path) { unreadable_.push_back(path); }

  int operationCount() const { return operations_; }
  bool crashed() const { return crashed_; }
  const std::vector<std::string>& log() const { return log_; }

  // Puts every file touched back to its last flushed contents (or removes it when it never
  // was durable), as a power cut after the crash would leave the disk.
  void powerCut();

  runtime::Bytes readFile(const std::string& path, std::int64_t maxBytes) override;
  bool writeFile(const std::string& path, const runtime::Bytes& bytes) override;
  bool syncFile(const std::string& path) override;
  bool replaceFile(const std::string& from, const std::string& to) override;
  void deleteFile(const std::string& path) override;
  bool fileExists(const std::string& path) override;

 private:
  // True when the operation may go ahead; false when it is refused by the injected fault.
  bool admit(const std::string& description);
  void track(const std::string& path);
  std::optional<runtime::Bytes> diskContents(const std::string& path);

  runtime::FileSystem& disk_;
  int operations_ = 0;
  int faultAt_ = -1;
  Mode mode_ = Mode::kNone;
  std::optional<std::size_t> tornBytes_;
  bool crashed_ = false;
  bool tornPending_ = false;
  std::vector<std::string> unreadable_;
  std::vector<std::string> log_;
  std::map<std::string, std::optional<runtime::Bytes>> durable_;
};

}  // namespace store::testing
