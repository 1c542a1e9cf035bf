// A file system for tests that passes everything to the disk but refuses to write one file, so
// a commit can be made to fail without touching what is already stored. With a count it refuses
// only that many writes of the file and lets the later ones through.
#pragma once

#include <string>

#include "runtime/file_system.hpp"

namespace app::testing {

class RefusingFileSystem final : public runtime::FileSystem {
 public:
  explicit RefusingFileSystem(std::string refusedSuffix, int refusals = -1)
      : refusedSuffix_(std::move(refusedSuffix)), refusalsLeft_(refusals) {}

  runtime::Bytes readFile(const std::string& path, std::int64_t maxBytes) override {
    return disk().readFile(path, maxBytes);
  }
  bool writeFile(const std::string& path, const runtime::Bytes& bytes) override {
    if (refused(path) && refusalsLeft_ != 0) {
      if (refusalsLeft_ > 0) --refusalsLeft_;
      return false;
    }
    return disk().writeFile(path, bytes);
  }
  bool syncFile(const std::string& path) override { return disk().syncFile(path); }
  bool replaceFile(const std::string& from, const std::string& to) override { return disk().replaceFile(from, to); }
  void deleteFile(const std::string& path) override { disk().deleteFile(path); }
  bool fileExists(const std::string& path) override { return disk().fileExists(path); }

 private:
  static runtime::FileSystem& disk() { return runtime::diskFileSystem(); }
  bool refused(const std::string& path) const {
    return path.size() >= refusedSuffix_.size() &&
           path.compare(path.size() - refusedSuffix_.size(), refusedSuffix_.size(), refusedSuffix_) == 0;
  }

  std::string refusedSuffix_;
  int refusalsLeft_;  // -1: every write
};

}  // namespace app::testing
