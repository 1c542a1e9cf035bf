// Crash safety at the level of the system calls: commits and opens run through the real POSIX
// file functions of the runtime, while the libc calls they make (open, write, fsync, rename,
// unlink, mkdir, ...) are recorded beneath them. The executable is linked with --wrap for those
// calls, so every call the runtime's objects make lands in a __wrap_ function here first.
//
// From the recorded trace, a model of a power cut rebuilds every state the disk may be left in
// at each point of the run: file data not flushed since its last change may be lost, kept or
// kept in part, and a name created, moved or removed in a directory not flushed since may be
// lost or kept. Each state is written to a scratch directory and opened: the store must open,
// hold a state that some commit of the run produced, and hold at least every commit that had
// answered true before the cut. Unlike the seam-level crash tests, this one fails when the
// platform layer itself leaves out a flush of a file, a flush of a directory, or the move.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/files.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/tests/test_support.hpp"

// The libc functions themselves, as the linker's --wrap names them: the names are the linker's
// and cannot be chosen.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_open64(const char* path, int flags, ...);
ssize_t __real_write(int fd, const void* data, size_t size);
int __real_close(int fd);
int __real_fsync(int fd);
int __real_fdatasync(int fd);
int __real_rename(const char* from, const char* to);
int __real_unlink(const char* path);
int __real_rmdir(const char* path);
int __real_mkdir(const char* path, mode_t mode);
}
// NOLINTEND(bugprone-reserved-identifier)

namespace store {
namespace {

namespace fs = std::filesystem;
using testing::batchNumber;
using testing::Snapshot;
using testing::snapshotOf;
using testing::TempDir;

// One successful call under the recorded directory. Paths are relative to that directory.
struct Call {
  enum Kind { kOpen, kWrite, kClose, kFlush, kRename, kRemove, kMakeDirectory };
  Kind kind;
  int fd = -1;
  int flags = 0;
  std::string path;
  std::string target;  // a rename's new name
  runtime::Bytes data;
};

// The second commit meets a failing call on `path` and tells `trouble`; the caller reopens or commits again.
// The third commit meets the failing call of `then`, when given.
struct Row {
  const char* name;
  Call::Kind kind;
  const char* path;
  int error;
  StoreTrouble trouble;
  bool reopens;
  const Row* then = nullptr;
};
class Recorder {
 public:
  explicit Recorder(fs::path root) : root_(std::move(root)) {}

  // The path relative to the root, or none for a path outside it.
  std::optional<std::string> relative(const char* path) const {
    const fs::path normal = fs::path(path).lexically_normal();
    const fs::path inside = normal.lexically_relative(root_);
    if (inside.empty() || *inside.begin() == "..") return std::nullopt;
    return inside.generic_string();
  }
  bool tracks(int fd) const { return fds_.count(fd) != 0; }
  std::string pathOf(int fd) const { return tracks(fd) ? fds_.at(fd) : std::string(); }

  void opened(int fd, int flags, std::string path) {
    fds_[fd] = path;
    calls.push_back({Call::kOpen, fd, flags, std::move(path), {}, {}});
  }
  void onFd(Call::Kind kind, int fd, runtime::Bytes data = {}) {
    if (kind == Call::kClose) fds_.erase(fd);
    calls.push_back({kind, fd, 0, {}, {}, std::move(data)});
  }
  void onPath(Call::Kind kind, std::string path, std::string target = {}) {
    calls.push_back({kind, -1, 0, std::move(path), std::move(target), {}});
  }

  std::vector<Call> calls;
  // When set, the call it names fails once, without reaching the system.
  const Row* refusal = nullptr;

 private:
  fs::path root_;
  std::map<int, std::string> fds_;
};

Recorder* gRecorder = nullptr;

class ScopedRecorder {
 public:
  explicit ScopedRecorder(Recorder& recorder) { gRecorder = &recorder; }
  ~ScopedRecorder() { gRecorder = nullptr; }
  ScopedRecorder(const ScopedRecorder&) = delete;
  ScopedRecorder& operator=(const ScopedRecorder&) = delete;
};

int recordOpen(const char* path, int flags, int fd) {
  if (gRecorder != nullptr && fd >= 0) {
    if (auto inside = gRecorder->relative(path)) gRecorder->opened(fd, flags, *inside);
  }
  return fd;
}

// True once for the call the recorder's refusal names, which then fails with its errno.
bool refused(Call::Kind kind, const std::string& path) {
  const Row* row = gRecorder->refusal;
  if (row == nullptr || row->kind != kind || row->path != path) return false;
  errno = row->error;
  gRecorder->refusal = nullptr;
  return true;
}

void recordPath(Call::Kind kind, const char* path, int result) {
  if (gRecorder == nullptr || result != 0) return;
  if (auto inside = gRecorder->relative(path)) gRecorder->onPath(kind, *inside);
}

}  // namespace
}  // namespace store

// The calls of the test's objects and of the runtime's land here first.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {

int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & (O_CREAT | O_TMPFILE)) != 0) {
    va_list arguments;
    va_start(arguments, flags);
    mode = static_cast<mode_t>(va_arg(arguments, int));
    va_end(arguments);
  }
  return store::recordOpen(path, flags, __real_open(path, flags, mode));
}

int __wrap_open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & (O_CREAT | O_TMPFILE)) != 0) {
    va_list arguments;
    va_start(arguments, flags);
    mode = static_cast<mode_t>(va_arg(arguments, int));
    va_end(arguments);
  }
  return store::recordOpen(path, flags, __real_open64(path, flags, mode));
}

ssize_t __wrap_write(int fd, const void* data, size_t size) {
  if (store::gRecorder != nullptr && store::refused(store::Call::kWrite, store::gRecorder->pathOf(fd))) return -1;
  const ssize_t written = __real_write(fd, data, size);
  if (store::gRecorder != nullptr && written > 0 && store::gRecorder->tracks(fd)) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    store::gRecorder->onFd(store::Call::kWrite, fd, runtime::Bytes(bytes, bytes + written));
  }
  return written;
}

int __wrap_close(int fd) {
  if (store::gRecorder != nullptr && store::gRecorder->tracks(fd)) store::gRecorder->onFd(store::Call::kClose, fd);
  return __real_close(fd);
}

int __wrap_fsync(int fd) {
  if (store::gRecorder != nullptr && store::refused(store::Call::kFlush, store::gRecorder->pathOf(fd))) return -1;
  const int result = __real_fsync(fd);
  if (store::gRecorder != nullptr && result == 0 && store::gRecorder->tracks(fd)) {
    store::gRecorder->onFd(store::Call::kFlush, fd);
  }
  return result;
}

int __wrap_fdatasync(int fd) {
  const int result = __real_fdatasync(fd);
  if (store::gRecorder != nullptr && result == 0 && store::gRecorder->tracks(fd)) {
    store::gRecorder->onFd(store::Call::kFlush, fd);
  }
  return result;
}

int __wrap_rename(const char* from, const char* to) {
  if (store::gRecorder != nullptr &&
      store::refused(store::Call::kRename, store::gRecorder->relative(from).value_or(""))) {
    return -1;
  }
  const int result = __real_rename(from, to);
  if (store::gRecorder != nullptr && result == 0) {
    auto source = store::gRecorder->relative(from);
    auto target = store::gRecorder->relative(to);
    if (source && target) store::gRecorder->onPath(store::Call::kRename, *source, *target);
  }
  return result;
}

int __wrap_unlink(const char* path) {
  const int result = __real_unlink(path);
  store::recordPath(store::Call::kRemove, path, result);
  return result;
}

int __wrap_rmdir(const char* path) {
  const int result = __real_rmdir(path);
  store::recordPath(store::Call::kRemove, path, result);
  return result;
}

int __wrap_mkdir(const char* path, mode_t mode) {
  const int result = __real_mkdir(path, mode);
  store::recordPath(store::Call::kMakeDirectory, path, result);
  return result;
}

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier)

namespace store {
namespace {

// The disk as the calls of a trace left it, with what a power cut may take back.
class PowerCutModel {
 public:
  // Replays the first `count` calls of the trace.
  PowerCutModel(const std::vector<Call>& calls, std::size_t count) {
    nodes_.push_back(Node{true, {}, {}, {}, {}, 0});  // the root, there and durable from the start
    for (std::size_t i = 0; i < count; ++i) apply(static_cast<int>(i), calls[i]);
  }

  // The points where a power cut may go either way: a directory's unflushed name changes (one
  // point per call, a rename's two names together) and a file's unflushed data.
  struct Choices {
    std::vector<std::pair<int, int>> nameChanges;  // directory node, call index
    std::vector<int> files;                        // file nodes whose data is not all flushed
  };
  Choices choices() const {
    Choices choices;
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
      const Node& node = nodes_[n];
      if (node.directory) {
        std::set<int> calls;
        for (const NameChange& change : node.changes) {
          if (change.call >= node.flushedBefore) calls.insert(change.call);
        }
        for (const int call : calls) choices.nameChanges.emplace_back(static_cast<int>(n), call);
      } else if (node.data != node.flushed) {
        choices.files.push_back(static_cast<int>(n));
      }
    }
    return choices;
  }

  // What a file's data may come back as after a power cut.
  enum class Data { kFlushed, kCurrent, kHalf };

  // Writes the state the cut leaves into `target` (an empty directory): the name changes chosen
  // by `keptNames` survive besides the flushed ones, and each file holds the data chosen for it.
  void materialise(const fs::path& target, const std::set<std::pair<int, int>>& keptNames,
                   const std::map<int, Data>& data) const {
    write(0, target, keptNames, data);
  }

 private:
  struct NameChange {
    int call;
    std::string name;
    std::optional<int> node;
  };
  struct Node {
    bool directory = false;
    runtime::Bytes data;                 // a file's data now
    runtime::Bytes flushed;              // a file's data as last flushed (none at first)
    std::map<std::string, int> entries;  // a directory's names now
    std::vector<NameChange> changes;     // a directory's name changes, in order
    int flushedBefore = 0;               // changes by earlier calls are durable
  };
  struct Open {
    int node;
    std::size_t offset;
  };

  static std::pair<std::string, std::string> split(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash), path.substr(slash + 1)};
  }

  // The node a path names now; none when a level is missing.
  std::optional<int> find(const std::string& path) const {
    int node = 0;
    if (path.empty() || path == ".") return node;
    for (const auto& part : fs::path(path)) {
      const auto& entries = nodes_[static_cast<std::size_t>(node)].entries;
      const auto at = entries.find(part.string());
      if (at == entries.end()) return std::nullopt;
      node = at->second;
    }
    return node;
  }

  int directoryOf(const std::string& path) const {
    const std::optional<int> parent = find(split(path).first);
    EXPECT_TRUE(parent.has_value()) << "a call below a directory the trace never made: " << path;
    return parent.value_or(0);
  }

  void setName(int call, const std::string& path, std::optional<int> node) {
    Node& directory = nodes_[static_cast<std::size_t>(directoryOf(path))];
    const std::string name = split(path).second;
    if (node.has_value()) {
      directory.entries[name] = *node;
    } else {
      directory.entries.erase(name);
    }
    directory.changes.push_back({call, name, node});
  }

  int newNode(bool directory) {
    nodes_.push_back(Node{directory, {}, {}, {}, {}, 0});
    return static_cast<int>(nodes_.size() - 1);
  }

  void apply(int index, const Call& call) {
    switch (call.kind) {
      case Call::kOpen: {
        std::optional<int> node = find(call.path);
        if (!node.has_value()) {
          EXPECT_NE(call.flags & O_CREAT, 0) << "opened a file the trace never made: " << call.path;
          node = newNode(false);
          setName(index, call.path, node);
        }
        if ((call.flags & O_TRUNC) != 0) nodes_[static_cast<std::size_t>(*node)].data.clear();
        open_[call.fd] = {*node, 0};
        break;
      }
      case Call::kWrite: {
        Open& open = open_.at(call.fd);
        runtime::Bytes& data = nodes_[static_cast<std::size_t>(open.node)].data;
        if (data.size() < open.offset + call.data.size()) data.resize(open.offset + call.data.size());
        std::copy(call.data.begin(), call.data.end(), data.begin() + static_cast<std::ptrdiff_t>(open.offset));
        open.offset += call.data.size();
        break;
      }
      case Call::kClose:
        open_.erase(call.fd);
        break;
      case Call::kFlush: {
        Node& node = nodes_[static_cast<std::size_t>(open_.at(call.fd).node)];
        if (node.directory) {
          node.flushedBefore = index;
        } else {
          node.flushed = node.data;
        }
        break;
      }
      case Call::kRename: {
        const std::optional<int> node = find(call.path);
        EXPECT_TRUE(node.has_value()) << "moved a file the trace never made: " << call.path;
        setName(index, call.path, std::nullopt);
        setName(index, call.target, node);
        break;
      }
      case Call::kRemove:
        setName(index, call.path, std::nullopt);
        break;
      case Call::kMakeDirectory:
        setName(index, call.path, newNode(true));
        break;
    }
  }

  void write(int directory, const fs::path& target, const std::set<std::pair<int, int>>& keptNames,
             const std::map<int, Data>& data) const {
    const Node& node = nodes_[static_cast<std::size_t>(directory)];
    std::map<std::string, int> names;
    for (const NameChange& change : node.changes) {
      if (change.call >= node.flushedBefore && keptNames.count({directory, change.call}) == 0) continue;
      if (change.node.has_value()) {
        names[change.name] = *change.node;
      } else {
        names.erase(change.name);
      }
    }
    for (const auto& [name, child] : names) {
      const fs::path path = target / name;
      const Node& entry = nodes_[static_cast<std::size_t>(child)];
      if (entry.directory) {
        fs::create_directory(path);
        write(child, path, keptNames, data);
        continue;
      }
      runtime::Bytes bytes = entry.flushed;
      const auto choice = data.find(child);
      if (choice != data.end() && choice->second == Data::kCurrent) bytes = entry.data;
      if (choice != data.end() && choice->second == Data::kHalf) {
        bytes.assign(entry.data.begin(), entry.data.begin() + static_cast<std::ptrdiff_t>(entry.data.size() / 2));
      }
      ASSERT_TRUE(runtime::writeFileBytes(path.string(), bytes));
    }
  }

  std::vector<Node> nodes_;
  std::map<int, Open> open_;
};

// A state of the store the run produced: the calls before `begun` came before the action that
// made it, and from `acknowledged` on it had been reported done (a commit's true, an open's ok).
struct Produced {
  Snapshot snapshot;
  std::size_t begun;
  std::optional<std::size_t> acknowledged;
};

// The files and directories below `root`, with every file's bytes, for comparing two trees.
std::map<std::string, std::optional<runtime::Bytes>> treeOf(const fs::path& root) {
  std::map<std::string, std::optional<runtime::Bytes>> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().lexically_relative(root).generic_string();
    tree[name] = entry.is_directory() ? std::nullopt : std::optional(testing::readAll(entry.path().string()));
  }
  return tree;
}

constexpr const char* kNext = "data/store.next.corvane";
const Row kDirectoryNotFlushed = {
    "directory not flushed after the move", Call::kFlush, "data", EIO, StoreTrouble::kOther, true};
const Row kRows[] = {
    {"move refused", Call::kRename, kNext, EIO, StoreTrouble::kNotReplaced, true},
    {"next file not written for want of room", Call::kWrite, kNext, ENOSPC, StoreTrouble::kNoRoom, true},
    {"next file not flushed, over quota", Call::kFlush, kNext, EDQUOT, StoreTrouble::kNoRoom, true},
    {"write-ahead flush, read-only", Call::kFlush, "data/store.wal.corvane", EROFS, StoreTrouble::kNoPermission, true},
    kDirectoryNotFlushed,
    {"move refused, then committed again", Call::kRename, kNext, EIO, StoreTrouble::kNotReplaced, false},
    {"next file not written, then committed again", Call::kWrite, kNext, EPERM, StoreTrouble::kNoPermission, false},
    // The kept write-ahead file is moved into place, but the move may still be undone: the commit
    // must not write its own write-ahead file over the kept one.
    {"next file not written, then the kept file moved but its directory not flushed", Call::kWrite, kNext, ENOSPC,
     StoreTrouble::kNoRoom, false, &kDirectoryNotFlushed},
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }
class SystemCallCrashSafety : public ::testing::TestWithParam<Row> {};
INSTANTIATE_TEST_SUITE_P(Rows, SystemCallCrashSafety, ::testing::ValuesIn(kRows));

TEST_P(SystemCallCrashSafety, EveryPowerCutStateOfCommitsAndARecoveryOpens) {
  const Row& row = GetParam();
  TempDir root;
  TempDir scratch;
  const std::string data = root.text("data");
  Recorder recorder(fs::path(root.text()).lexically_normal());
  std::vector<Produced> produced = {{Snapshot{}, 0, 0}};
  {
    ScopedRecorder recording(recorder);
    // Open makes the data directory; four commits follow, the second of which (and the third,
    // when the row says so) fails as the row says.
    Database database = openDatabase(data);
    ASSERT_TRUE(database.store.ok) << database.store.message;
    // The sequence of the state the next commit writes after: the last one answered true or
    // reopened, or that of a failed commit whose file was kept or moved into place.
    std::int32_t base = 0;
    for (int n = 0; n < 4; ++n) {
      const std::size_t begun = recorder.calls.size();
      const Row* refusal = n == 1 ? &row : n == 2 ? row.then : nullptr;
      recorder.refusal = refusal;
      SnapshotIdentity kept;
      const bool answered = putBatch(database, batchNumber(n), &kept);
      EXPECT_EQ(database.store.trouble, refusal != nullptr ? refusal->trouble : StoreTrouble::kNone) << "commit " << n;
      // Checked, not assumed: the power cuts below judge the states by the answers actually given.
      EXPECT_EQ(answered, refusal == nullptr) << "commit " << n;
      Snapshot attempted = snapshotOf(database.store);
      if (answered) {
        produced.push_back({attempted, begun, recorder.calls.size()});
        base = attempted.sequence;
        continue;
      }
      attempted.sequence = base + 1;
      if (kept.present || database.store.sequence == attempted.sequence) base = attempted.sequence;
      // A write-ahead file reported kept promised the change, as an answer true does.
      produced.push_back({attempted, begun, kept.present ? std::optional(recorder.calls.size()) : std::nullopt});
      if (!row.reopens) continue;
      // The caller reopens after a failed put; the open promotes a kept write-ahead file.
      const std::size_t reopening = recorder.calls.size();
      database = openDatabase(data);
      ASSERT_TRUE(database.store.ok) << database.store.message;
      const Snapshot reopened = snapshotOf(database.store);
      ASSERT_TRUE(reopened == attempted || (!kept.present && reopened == produced[produced.size() - 2].snapshot));
      produced.push_back({reopened, reopening, recorder.calls.size()});
      base = reopened.sequence;
    }
  }
  const std::vector<Call>& calls = recorder.calls;
  ASSERT_FALSE(calls.empty());

  // The model keeps up with the disk: with every change kept, it rebuilds the directory as the
  // run left it. A call the recorder missed would show here.
  {
    const PowerCutModel model(calls, calls.size());
    const PowerCutModel::Choices choices = model.choices();
    std::set<std::pair<int, int>> allNames(choices.nameChanges.begin(), choices.nameChanges.end());
    std::map<int, PowerCutModel::Data> allData;
    for (const int file : choices.files) allData[file] = PowerCutModel::Data::kCurrent;
    const fs::path rebuilt = scratch.path() / "rebuilt";
    fs::create_directory(rebuilt);
    model.materialise(rebuilt, allNames, allData);
    ASSERT_EQ(treeOf(rebuilt), treeOf(root.path()));
  }

  int states = 0;
  for (std::size_t cut = 0; cut <= calls.size(); ++cut) {
    const PowerCutModel model(calls, cut);
    const PowerCutModel::Choices choices = model.choices();
    // The states the store may come back in: the last one reported done before the cut, or one
    // whose making had begun by then.
    std::size_t oldest = 0;
    for (std::size_t p = 0; p < produced.size(); ++p) {
      if (produced[p].acknowledged.has_value() && *produced[p].acknowledged <= cut) oldest = p;
    }
    const std::size_t nameCount = choices.nameChanges.size();
    const std::size_t fileCount = choices.files.size();
    ASSERT_LE(nameCount + 2 * fileCount, 16u) << "too many open choices at call " << cut;
    std::size_t fileStates = 1;
    for (std::size_t f = 0; f < fileCount; ++f) fileStates *= 3;
    for (std::size_t names = 0; names < (std::size_t{1} << nameCount); ++names) {
      std::set<std::pair<int, int>> kept;
      for (std::size_t i = 0; i < nameCount; ++i) {
        if (((names >> i) & 1u) != 0) kept.insert(choices.nameChanges[i]);
      }
      for (std::size_t files = 0; files < fileStates; ++files) {
        std::map<int, PowerCutModel::Data> chosen;
        std::size_t rest = files;
        for (const int file : choices.files) {
          chosen[file] = static_cast<PowerCutModel::Data>(rest % 3);
          rest /= 3;
        }
        const fs::path disk = scratch.path() / "cut";
        fs::remove_all(disk);
        fs::create_directory(disk);
        model.materialise(disk, kept, chosen);
        ++states;

        const std::string where = "power cut after " + std::to_string(cut) + " of " + std::to_string(calls.size()) +
                                  " calls, names kept " + std::to_string(names) + ", file data " +
                                  std::to_string(files);
        const Database reopened = openDatabase((disk / "data").string());
        ASSERT_TRUE(reopened.store.ok) << where << ": " << reopened.store.message;
        const Snapshot after = snapshotOf(reopened.store);
        bool allowed = false;
        for (std::size_t p = oldest; p < produced.size() && produced[p].begun <= cut; ++p) {
          allowed = allowed || after == produced[p].snapshot;
        }
        ASSERT_TRUE(allowed) << where << ": reopened at sequence " << after.sequence << ", but sequence "
                             << produced[oldest].snapshot.sequence << " had been reported done";
      }
    }
  }
  // Each commit's calls, and what a cut may take from them, were all looked at.
  EXPECT_GT(states, static_cast<int>(calls.size()));
  std::cout << calls.size() << " calls, " << states << " power-cut states opened\n";
}

}  // namespace
}  // namespace store
