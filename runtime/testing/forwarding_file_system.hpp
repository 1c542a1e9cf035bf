// A FileSystem that passes every call to another one (the disk by default), for tests: a test's
// file system derives from it and overrides only the operations it watches or breaks. Linked by
// tests only; the program never includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/file_system.hpp"

namespace runtime::testing {

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& target = diskFileSystem()) : target_(target) {}

  Bytes readFile(const std::string& path, std::int64_t maxBytes) override { return target_.readFile(path, maxBytes); }
  bool writeFile(const std::string& path, const Bytes& bytes) override { return target_.writeFile(path, bytes); }
  bool syncFile(const std::string& path) override { return target_.syncFile(path); }
  bool replaceFile(const std::string& from, const std::string& to) override { return target_.replaceFile(from, to); }
  void deleteFile(const std::string& path) override { target_.deleteFile(path); }
  bool fileExists(const std::string& path) override { return target_.fileExists(path); }
  DirectoryCreation createDirectory(const std::string& path) override { return target_.createDirectory(path); }
  DirectorySync syncDirectory(const std::string& path) override { return target_.syncDirectory(path); }
  LockAttempt tryLockFile(const std::string& path, std::unique_ptr<Lock>& lock) override {
    return target_.tryLockFile(path, lock);
  }
  FileEnds readFileEnds(const std::string& path, std::size_t headBytes, std::size_t tailBytes) override {
    return target_.readFileEnds(path, headBytes, tailBytes);
  }

 protected:
  FileSystem& target() { return target_; }

 private:
  FileSystem& target_;
};

}  // namespace runtime::testing
