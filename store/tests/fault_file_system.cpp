#include "store/tests/fault_file_system.hpp"

#include <algorithm>
#include <cstdint>

#include "runtime/runtime_error.hpp"

namespace store::testing {

void FaultFileSystem::injectAt(int index, Mode mode, std::optional<std::size_t> tornBytes) {
  faultAt_ = index;
  mode_ = mode;
  tornBytes_ = tornBytes;
}

bool FaultFileSystem::admit(const std::string& description) {
  const int index = operations_++;
  log_.push_back(description);
  tornPending_ = false;
  if (crashed_) return false;
  if (index != faultAt_ || mode_ == Mode::kNone) return true;
  if (mode_ == Mode::kCrash) crashed_ = true;
  tornPending_ = tornBytes_.has_value();
  return false;
}

std::optional<runtime::Bytes> FaultFileSystem::diskContents(const std::string& path) {
  if (!disk_.fileExists(path)) return std::nullopt;
  return disk_.readFile(path, INT64_MAX);
}

void FaultFileSystem::track(const std::string& path) {
  // Whatever was on the disk before this file system first saw a path counts as durable.
  if (durable_.find(path) == durable_.end()) durable_[path] = diskContents(path);
}

runtime::Bytes FaultFileSystem::readFile(const std::string& path, std::int64_t maxBytes) {
  if (std::find(unreadable_.begin(), unreadable_.end(), path) != unreadable_.end()) {
    throw runtime::vusk_runtime_exception(runtime::makeRuntimeError("file.read", "unable to open file: " + path));
  }
  return disk_.readFile(path, maxBytes);
}

bool FaultFileSystem::writeFile(const std::string& path, const runtime::Bytes& bytes) {
  track(path);
  if (admit("write " + path)) return disk_.writeFile(path, bytes);
  if (tornPending_) {
    const std::size_t kept = std::min(*tornBytes_, bytes.size());
    disk_.writeFile(path, runtime::Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept)));
  }
  return false;
}

bool FaultFileSystem::syncFile(const std::string& path) {
  track(path);
  if (!admit("sync " + path)) return false;
  if (!disk_.syncFile(path)) return false;
  durable_[path] = diskContents(path);
  return true;
}

bool FaultFileSystem::replaceFile(const std::string& from, const std::string& to) {
  track(from);
  track(to);
  if (!admit("replace " + from + " -> " + to)) return false;
  if (!disk_.replaceFile(from, to)) return false;
  // The move is durable with the directory: the moved file keeps only what was flushed of it
  // (an entry without flushed data comes back empty), and earlier removals become durable too.
  const std::optional<runtime::Bytes> moved = durable_[from];
  durable_[to] = moved.has_value() ? *moved : runtime::Bytes{};
  durable_[from] = std::nullopt;
  for (auto& [path, contents] : durable_) {
    if (!disk_.fileExists(path)) {
      contents = std::nullopt;
    } else if (!contents.has_value()) {
      contents = runtime::Bytes{};
    }
  }
  return true;
}

void FaultFileSystem::deleteFile(const std::string& path) {
  track(path);
  if (admit("delete " + path)) disk_.deleteFile(path);
}

bool FaultFileSystem::fileExists(const std::string& path) {
  if (std::find(unreadable_.begin(), unreadable_.end(), path) != unreadable_.end()) return true;
  return disk_.fileExists(path);
}

void FaultFileSystem::powerCut() {
  for (const auto& [path, contents] : durable_) {
    if (contents.has_value()) {
      disk_.writeFile(path, *contents);
    } else {
      disk_.deleteFile(path);
    }
  }
}

}  // namespace store::testing
