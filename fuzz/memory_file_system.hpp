// An in-memory FileSystem for the fuzz targets: store files without disk writes or flushes,
// so that each input costs microseconds and leaves nothing behind.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "runtime/file_system.hpp"
#include "runtime/runtime_error.hpp"

namespace oreb_fuzz {

class MemoryFileSystem final : public runtime::FileSystem {
 public:
  std::map<std::string, runtime::Bytes> files;

  runtime::Bytes readFile(const std::string& path, std::int64_t maxBytes) override {
    const auto it = files.find(path);
    if (it == files.end()) {
      throw runtime::vusk_runtime_exception(runtime::makeRuntimeError("file.read", "unable to open file: " + path));
    }
    if (static_cast<std::int64_t>(it->second.size()) > maxBytes) {
      throw runtime::vusk_runtime_exception(
          runtime::makeRuntimeError("file.read.limit", "file exceeds maximum byte count: " + path));
    }
    return it->second;
  }
  bool writeFile(const std::string& path, const runtime::Bytes& bytes) override {
    files[path] = bytes;
    return true;
  }
  bool syncFile(const std::string& path) override { return files.count(path) != 0; }
  bool replaceFile(const std::string& from, const std::string& to) override {
    const auto it = files.find(from);
    if (it == files.end()) return false;
    runtime::Bytes moved = std::move(it->second);
    files.erase(it);
    files[to] = std::move(moved);
    return true;
  }
  void deleteFile(const std::string& path) override { files.erase(path); }
  bool fileExists(const std::string& path) override { return files.count(path) != 0; }
  // Every directory is there already and durable.
  DirectoryCreation createDirectory(const std::string&) override { return DirectoryCreation::kPresent; }
  DirectorySync syncDirectory(const std::string&) override { return DirectorySync::kFlushed; }
  // One program on the files: every lock is granted at once.
  LockAttempt tryLockFile(const std::string&, std::unique_ptr<Lock>& lock) override {
    lock = std::make_unique<Lock>();
    return LockAttempt::kTaken;
  }
  FileEnds readFileEnds(const std::string& path, std::size_t headBytes, std::size_t tailBytes) override {
    FileEnds ends;
    const auto it = files.find(path);
    if (it == files.end()) return ends;
    const runtime::Bytes& bytes = it->second;
    const std::size_t head = std::min(bytes.size(), headBytes);
    const std::size_t tail = std::min(bytes.size(), tailBytes);
    ends.status = FileEnds::Status::kRead;
    ends.size = static_cast<std::int64_t>(bytes.size());
    ends.head.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(head));
    ends.tail.assign(bytes.end() - static_cast<std::ptrdiff_t>(tail), bytes.end());
    return ends;
  }
};

}  // namespace oreb_fuzz
