// A file system for tests that passes everything to the disk but refuses to write one file, so
// a commit can be made to fail without touching what is already stored. With a count it refuses
// only that many writes of the file and lets the later ones through.
#pragma once

#include <string>
#include <utility>

#include "runtime/testing/forwarding_file_system.hpp"

namespace app::testing {

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

}  // namespace app::testing
