#include "store/tests/fault_file_system.hpp"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "runtime/files.hpp"
#include "runtime/runtime_error.hpp"

namespace store::testing {

namespace {

namespace fs = std::filesystem;

std::string textOf(const fs::path& path) {
  const std::u8string u8 = path.generic_u8string();
  return std::string(u8.begin(), u8.end());
}

// One spelling per directory, so that "d", "d/" and "d/." name the same one.
fs::path normal(const std::string& path) {
  fs::path p = runtime::toNativePath(path).lexically_normal();
  if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
  return p;
}

std::string parentKey(const fs::path& path) {
  const fs::path parent = path.parent_path();
  return parent.empty() ? std::string(".") : textOf(parent);
}

std::string nameOf(const std::string& path) { return textOf(normal(path).filename()); }

std::string directoryKeyOf(const std::string& path) { return parentKey(normal(path)); }

}  // namespace

void FaultFileSystem::injectAt(int index, Mode mode, std::optional<std::size_t> tornBytes) {
  faultAt_ = index;
  mode_ = mode;
  tornBytes_ = tornBytes;
}

void FaultFileSystem::injectAt(const std::string& operation, Mode mode, std::optional<std::size_t> tornBytes) {
  injectAt(-1, mode, tornBytes);
  faultOperation_ = operation;
}

bool FaultFileSystem::admit(const std::string& description) {
  const int index = operations_++;
  log_.push_back(description);
  if (faultOperation_.has_value() && description.rfind(*faultOperation_, 0) == 0) {
    faultAt_ = index;
    faultOperation_.reset();
  }
  tornPending_ = false;
  if (crashed_) return false;
  if (index != faultAt_ || mode_ == Mode::kNone) return true;
  if (mode_ == Mode::kCrash) crashed_ = true;
  tornPending_ = tornBytes_.has_value();
  return false;
}

int FaultFileSystem::newNode(bool directory) {
  nodes_.push_back({directory, std::nullopt});
  return static_cast<int>(nodes_.size()) - 1;
}

FaultFileSystem::Directory& FaultFileSystem::directoryOf(const std::string& key) {
  const auto found = directories_.find(key);
  if (found != directories_.end()) return found->second;
  // Whatever was on the disk before this file system first saw a directory counts as durable.
  Directory directory;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(runtime::toNativePath(key), error)) {
    const std::string name = textOf(entry.path().filename());
    if (entry.is_directory()) {
      directory.initial[name] = newNode(true);
    } else if (entry.is_regular_file()) {
      const int node = newNode(false);
      nodes_[static_cast<std::size_t>(node)].flushed = disk_.readFile(textOf(entry.path()), INT64_MAX);
      directory.initial[name] = node;
    }
  }
  return directories_.emplace(key, std::move(directory)).first->second;
}

std::optional<int> FaultFileSystem::nodeAt(const std::string& path) {
  const std::string name = nameOf(path);
  const Directory& directory = directoryOf(directoryKeyOf(path));
  for (auto change = directory.changes.rbegin(); change != directory.changes.rend(); ++change) {
    if (change->name == name) return change->node;
  }
  const auto initial = directory.initial.find(name);
  if (initial == directory.initial.end()) return std::nullopt;
  return initial->second;
}

void FaultFileSystem::rename(const std::string& path, std::optional<int> node) {
  directoryOf(directoryKeyOf(path)).changes.push_back({operations_ - 1, nameOf(path), node});
}

runtime::Bytes FaultFileSystem::readFile(const std::string& path, std::int64_t maxBytes) {
  if (std::find(unreadable_.begin(), unreadable_.end(), path) != unreadable_.end()) {
    throw runtime::vusk_runtime_exception(runtime::makeRuntimeError("file.read", "unable to open file: " + path));
  }
  return disk_.readFile(path, maxBytes);
}

bool FaultFileSystem::writeFile(const std::string& path, const runtime::Bytes& bytes) {
  directoryOf(directoryKeyOf(path));
  const bool admitted = admit("write " + path);
  if (!admitted) runtime::noteWriteFailure(cause_);
  if (!admitted && !tornPending_) return false;
  if (!nodeAt(path).has_value()) rename(path, newNode(false));
  if (admitted) return disk_.writeFile(path, bytes);
  const std::size_t kept = std::min(*tornBytes_, bytes.size());
  disk_.writeFile(path, runtime::Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept)));
  return false;
}

bool FaultFileSystem::syncFile(const std::string& path) {
  directoryOf(directoryKeyOf(path));
  if (!admit("sync " + path)) {
    runtime::noteWriteFailure(cause_);
    return false;
  }
  const std::optional<int> node = nodeAt(path);
  if (!node.has_value() || !disk_.fileExists(path)) return false;
  nodes_[static_cast<std::size_t>(*node)].flushed = disk_.readFile(path, INT64_MAX);
  return true;
}

bool FaultFileSystem::replaceFile(const std::string& from, const std::string& to) {
  directoryOf(directoryKeyOf(from));
  directoryOf(directoryKeyOf(to));
  if (!admit("replace " + from + " -> " + to)) return false;
  const std::optional<int> node = nodeAt(from);
  if (!disk_.replaceFile(from, to)) return false;
  rename(to, node);
  rename(from, std::nullopt);
  return true;
}

void FaultFileSystem::deleteFile(const std::string& path) {
  directoryOf(directoryKeyOf(path));
  if (!admit("delete " + path)) return;
  disk_.deleteFile(path);
  if (nodeAt(path).has_value() && !disk_.fileExists(path)) rename(path, std::nullopt);
}

bool FaultFileSystem::fileExists(const std::string& path) {
  if (std::find(unreadable_.begin(), unreadable_.end(), path) != unreadable_.end()) return true;
  return disk_.fileExists(path);
}

runtime::FileSystem::DirectoryCreation FaultFileSystem::createDirectory(const std::string& path) {
  std::error_code error;
  // An existing directory is a question, not a change: it can neither fail nor be lost.
  if (fs::is_directory(runtime::toNativePath(path), error)) return DirectoryCreation::kPresent;
  directoryOf(directoryKeyOf(path));
  if (!admit("create directory " + path)) return DirectoryCreation::kUnavailable;
  const DirectoryCreation created = disk_.createDirectory(path);
  if (created == DirectoryCreation::kCreated) {
    const int node = newNode(true);
    rename(path, node);
    Directory& directory = directoryOf(textOf(normal(path)));
    directory.node = node;
  }
  return created;
}

FaultFileSystem::DirectorySync FaultFileSystem::syncDirectory(const std::string& path) {
  const std::string key = textOf(normal(path));
  // A directory in which nothing was changed here has nothing to make durable, and the model
  // stays out of it: it may be a shared one such as the system's temporary directory, which a
  // power cut would otherwise set back to what it held when first seen.
  const auto known = directories_.find(key);
  if (!admit("sync directory " + path)) return DirectorySync::kFailed;
  std::error_code error;
  if (!fs::is_directory(runtime::toNativePath(path), error)) return DirectorySync::kFailed;
  if (known != directories_.end()) known->second.flushedBefore = operations_ - 1;
  return DirectorySync::kFlushed;
}

runtime::FileSystem::LockAttempt FaultFileSystem::tryLockFile(const std::string& path, std::unique_ptr<Lock>& lock) {
  if (!admit("lock " + path)) {
    runtime::noteWriteFailure(cause_);  // as a lock file that cannot be made
    return LockAttempt::kUnavailable;
  }
  return disk_.tryLockFile(path, lock);
}

void FaultFileSystem::restart() {
  mode_ = Mode::kNone;
  faultAt_ = -1;
  faultOperation_.reset();
  crashed_ = false;
  tornPending_ = false;
}

void FaultFileSystem::restore(const std::string& key, const Directory& directory, int namesKeptThrough) {
  std::map<std::string, int> names = directory.initial;
  const int durableBefore = std::max(directory.flushedBefore, namesKeptThrough);
  for (const NameChange& change : directory.changes) {
    if (change.operation >= durableBefore) break;
    if (change.node.has_value()) {
      names[change.name] = *change.node;
    } else {
      names.erase(change.name);
    }
  }
  std::error_code error;
  const fs::path native = runtime::toNativePath(key);
  for (const fs::directory_entry& entry : fs::directory_iterator(native, error)) {
    const auto kept = names.find(textOf(entry.path().filename()));
    if (entry.is_regular_file() && (kept == names.end() || nodes_[static_cast<std::size_t>(kept->second)].directory)) {
      fs::remove(entry.path(), error);
    }
  }
  for (const auto& [name, node] : names) {
    const Node& file = nodes_[static_cast<std::size_t>(node)];
    if (!file.directory)
      disk_.writeFile(textOf(native / runtime::toNativePath(name)), file.flushed.value_or(runtime::Bytes{}));
  }
}

void FaultFileSystem::powerCut(int namesKeptThrough) {
  // Parents before the directories inside them, which a lost name in the parent takes along.
  std::vector<std::string> keys;
  for (const auto& [key, directory] : directories_) keys.push_back(key);
  std::sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
  std::vector<std::string> lost;
  for (const std::string& key : keys) {
    const auto inside = [&key](const std::string& gone) { return key.rfind(gone + "/", 0) == 0; };
    if (std::find_if(lost.begin(), lost.end(), inside) != lost.end()) continue;
    const Directory& directory = directories_.at(key);
    if (directory.node.has_value()) {
      const auto parent = directories_.find(parentKey(runtime::toNativePath(key)));
      bool named = false;
      if (parent != directories_.end()) {
        const std::string name = textOf(runtime::toNativePath(key).filename());
        const int durableBefore = std::max(parent->second.flushedBefore, namesKeptThrough);
        for (const NameChange& change : parent->second.changes) {
          if (change.operation < durableBefore && change.name == name) named = change.node == directory.node;
        }
      }
      if (!named) {
        std::error_code error;
        fs::remove_all(runtime::toNativePath(key), error);
        lost.push_back(key);
        continue;
      }
    }
    restore(key, directory, namesKeptThrough);
  }
}

}  // namespace store::testing
