// File systems for tests that pass everything to the disk but refuse one kind of operation, so a
// commit can be made to fail without touching what is already stored.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/testing/forwarding_file_system.hpp"

namespace app::testing {

// Refuses to write one file; with a count, only that many writes of it, letting the later ones
// through.
class RefusingFileSystem final : public runtime::testing::ForwardingFileSystem {
 public:
  explicit RefusingFileSystem(std::string refusedSuffix, int refusals = -1)
      : refusedSuffix_(std::move(refusedSuffix)), refusalsLeft_(refusals) {}

  bool writeFile(const std::string& path, const runtime::Bytes& bytes) override {
    if (refused(path) && refusalsLeft_ != 0) {
      if (refusalsLeft_ > 0) --refusalsLeft_;
      return false;
    }
    return ForwardingFileSystem::writeFile(path, bytes);
  }

 private:
  bool refused(const std::string& path) const {
    return path.size() >= refusedSuffix_.size() &&
           path.compare(path.size() - refusedSuffix_.size(), refusedSuffix_.size(), refusedSuffix_) == 0;
  }

  std::string refusedSuffix_;
  int refusalsLeft_;  // -1: every write
};

// Passes everything to the disk but refuses, while `refusing` is set, to move a file over the
// snapshot file, as a snapshot file made unchangeable while the program runs refuses it: the
// commit's move and the promotion of a write-ahead file at open both fail.
class FixedSnapshotFileSystem final : public runtime::testing::ForwardingFileSystem {
 public:
  bool replaceFile(const std::string& from, const std::string& to) override {
    static constexpr std::string_view kSnapshot = "/store.corvane";
    if (refusing && std::string_view(to).ends_with(kSnapshot)) return false;
    return ForwardingFileSystem::replaceFile(from, to);
  }
  bool refusing = true;
};

// Passes everything to the disk, asking `hook` first with the operation ("write", "sync",
// "replace" with the target's path, "exists", "delete", "sync directory", "lock") and the path,
// and after a file was written ("written"): its false fails the operation (a lock is then not to
// be had, as `refusedLock` answers, a removal not made), a written file staying on the disk
// whole. A hook that saves through the same file system clears itself first.
class HookedFileSystem final : public runtime::testing::ForwardingFileSystem {
 public:
  bool writeFile(const std::string& path, const runtime::Bytes& bytes) override {
    return pass("write", path) && ForwardingFileSystem::writeFile(path, bytes) && pass("written", path);
  }
  bool replaceFile(const std::string& from, const std::string& to) override {
    return pass("replace", to) && ForwardingFileSystem::replaceFile(from, to);
  }
  bool syncFile(const std::string& path) override { return pass("sync", path) && ForwardingFileSystem::syncFile(path); }
  bool fileExists(const std::string& path) override {
    return pass("exists", path) && ForwardingFileSystem::fileExists(path);
  }
  void deleteFile(const std::string& path) override {
    if (pass("delete", path)) ForwardingFileSystem::deleteFile(path);
  }
  DirectorySync syncDirectory(const std::string& path) override {
    return pass("sync directory", path) ? ForwardingFileSystem::syncDirectory(path) : DirectorySync::kFailed;
  }
  LockAttempt tryLockFile(const std::string& path, std::unique_ptr<Lock>& lock) override {
    return pass("lock", path) ? ForwardingFileSystem::tryLockFile(path, lock) : refusedLock;
  }
  std::function<bool(std::string_view operation, std::string_view path)> hook;
  LockAttempt refusedLock = LockAttempt::kUnavailable;  // kBusy: another holder has it

 private:
  // A copy runs: the hook may replace itself.
  bool pass(std::string_view operation, std::string_view path) {
    const auto run = hook;
    return !run || run(operation, path);
  }
};

}  // namespace app::testing
