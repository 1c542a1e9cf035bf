// Whole-file read and write, flushing, the replacing move, existence, quiet deletion,
// directory creation with its refused paths, environment variables and console lines.
#include "runtime/files.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "runtime/file_system.hpp"
#include "runtime/runtime_error.hpp"
#include "runtime/testing/forwarding_file_system.hpp"
#include "runtime/testing/temp_directory.hpp"

#ifdef _WIN32
#include <windows.h>

#include "runtime/utf16.hpp"
#endif

namespace runtime {
namespace {

namespace fs = std::filesystem;
using runtime::testing::TempDirectory;

fs::path pathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

void writeRaw(const std::string& path, const std::string& content) {
  std::ofstream out(pathOf(path), std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << path;
}

std::string readRaw(const std::string& path) {
  std::ifstream in(pathOf(path), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The runtime error that a call throws; fails the test when it throws nothing.
template <typename Call>
RuntimeError runtimeErrorOf(Call&& call) {
  try {
    call();
  } catch (const vusk_runtime_exception& e) {
    EXPECT_STREQ(e.what(), (e.error().code + ": " + e.error().message).c_str());
    return e.error();
  }
  ADD_FAILURE() << "expected vusk_runtime_exception";
  return {};
}

// Counts the calls that reach the file system, to show which arguments never get there.
class RecordingFileSystem : public FileSystem {
 public:
  Bytes readFile(const std::string& path, std::int64_t) override {
    paths.push_back(path);
    return {};
  }
  bool writeFile(const std::string& path, const Bytes&) override {
    paths.push_back(path);
    return true;
  }
  bool syncFile(const std::string& path) override {
    paths.push_back(path);
    return true;
  }
  bool replaceFile(const std::string& from, const std::string&) override {
    paths.push_back(from);
    return true;
  }
  void deleteFile(const std::string& path) override { paths.push_back(path); }
  bool fileExists(const std::string& path) override {
    paths.push_back(path);
    return true;
  }
  std::vector<std::string> paths;
};

TEST(FileSystemSeamTest, ScopedFileSystemInstallsAndRestores) {
  RecordingFileSystem outer;
  RecordingFileSystem inner;
  EXPECT_EQ(&currentFileSystem(), &diskFileSystem());
  {
    ScopedFileSystem installOuter(outer);
    {
      ScopedFileSystem installInner(inner);
      EXPECT_TRUE(syncFile("inner"));
    }
    EXPECT_TRUE(syncFile("outer"));
  }
  EXPECT_EQ(&currentFileSystem(), &diskFileSystem());
  EXPECT_EQ(inner.paths, std::vector<std::string>{"inner"});
  EXPECT_EQ(outer.paths, std::vector<std::string>{"outer"});
}

TEST(ToNativePathTest, KeepsUtf8Text) {
  const std::string text = "dir/caf\xC3\xA9/\xF0\x9F\x98\x80.bin";
  EXPECT_EQ(utf8Of(toNativePath(text)), text);
}

// Text that is not UTF-8 names no file on any platform (Windows cannot even convert it).
TEST(ToNativePathTest, InvalidUtf8NamesNoFile) {
  for (const std::string& bad : {std::string("a\xC0z"), std::string("a\xED\xA0\x80"), std::string("\xFF")}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(toNativePath(bad), fs::filesystem_error);
    EXPECT_THROW(readFileBytes(bad, 10), fs::filesystem_error);
    EXPECT_THROW(syncFile(bad), fs::filesystem_error);
    EXPECT_FALSE(fileExists(bad));
    EXPECT_FALSE(replaceFile(bad, "target"));
    EXPECT_FALSE(replaceFile("source", bad));
    EXPECT_FALSE(syncDirectory(bad));
    deleteFileQuietly(bad);
  }
}

#ifndef _WIN32
// POSIX lets a file have such bytes as its name; the file functions still do not see it, and
// leave it as it is.
TEST(ToNativePathTest, AFileNamedWithInvalidUtf8IsNotSeenOnPosix) {
  TempDirectory dir;
  const std::string raw = dir.text() + "/a\xC0z";
  {
    std::ofstream out(fs::path(raw), std::ios::binary);  // the bytes as they are
    out << "kept";
    ASSERT_TRUE(out.good());
  }
  ASSERT_TRUE(fs::is_regular_file(fs::path(raw)));
  EXPECT_FALSE(fileExists(raw));
  EXPECT_THROW(readFileBytes(raw, 10), fs::filesystem_error);
  EXPECT_THROW(syncFile(raw), fs::filesystem_error);
  EXPECT_FALSE(replaceFile(raw, dir.text("moved")));
  EXPECT_FALSE(writeFileBytes(raw, bytesOf("lost")));
  deleteFileQuietly(raw);
  std::ifstream in(fs::path(raw), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "kept");
  EXPECT_FALSE(fs::exists(dir.path() / "moved"));
}
#endif

// ---------------------------------------------------------------------------------------------
// readFileBytes

TEST(ReadFileBytesTest, NegativeLimitFailsBeforeTheFileIsTouched) {
  RecordingFileSystem recording;
  ScopedFileSystem install(recording);
  const RuntimeError error = runtimeErrorOf([] { readFileBytes("no/such/file", -1); });
  EXPECT_EQ(error.code, "file.read.limit");
  EXPECT_EQ(error.message, "maximum byte count must not be negative");
  EXPECT_THROW(readFileBytes("no/such/file", std::numeric_limits<std::int64_t>::min()), vusk_runtime_exception);
  EXPECT_TRUE(recording.paths.empty());
}

TEST(ReadFileBytesTest, MissingFileCannotBeOpened) {
  TempDirectory dir;
  const std::string path = dir.text() + "/./missing.bin";
  const RuntimeError error = runtimeErrorOf([&] { readFileBytes(path, 100); });
  EXPECT_EQ(error.code, "file.read");
  EXPECT_EQ(error.message, "unable to open file: " + path);  // the path exactly as passed
  EXPECT_EQ(error.number, 0);
  EXPECT_EQ(error.provider, "");
}

TEST(ReadFileBytesTest, EmptyFileWithLimitZero) {
  TempDirectory dir;
  const std::string path = dir.text("empty.bin");
  writeRaw(path, "");
  EXPECT_TRUE(readFileBytes(path, 0).empty());
}

TEST(ReadFileBytesTest, LimitIsInclusive) {
  TempDirectory dir;
  const std::string path = dir.text("ten.bin");
  writeRaw(path, "0123456789");
  const RuntimeError error = runtimeErrorOf([&] { readFileBytes(path, 9); });
  EXPECT_EQ(error.code, "file.read.limit");
  EXPECT_EQ(error.message, "file exceeds maximum byte count: " + path);
  EXPECT_EQ(readFileBytes(path, 10), bytesOf("0123456789"));
  EXPECT_EQ(readFileBytes(path, std::numeric_limits<std::int64_t>::max()), bytesOf("0123456789"));
}

TEST(ReadFileBytesTest, ReadsEveryByteValueUnchanged) {
  TempDirectory dir;
  const std::string path = dir.text("all-bytes.bin");
  std::string content;
  for (int i = 0; i < 512; ++i) content.push_back(static_cast<char>(i & 0xFF));
  content += "\r\n\n\r\x1A tail";  // text-mode translations must not happen
  writeRaw(path, content);
  EXPECT_EQ(readFileBytes(path, 1 << 20), bytesOf(content));
}

TEST(ReadFileBytesTest, DirectoryIsAReadError) {
  TempDirectory dir;
  const RuntimeError error = runtimeErrorOf([&] { readFileBytes(dir.text(), 1 << 20); });
  EXPECT_EQ(error.code, "file.read");
  const std::string path = dir.text();
  EXPECT_TRUE(error.message == "unable to open file: " + path ||
              error.message == "unable to determine file size: " + path ||
              error.message == "unable to read complete file: " + path)
      << error.message;
}

// ---------------------------------------------------------------------------------------------
// writeFileBytes

TEST(WriteFileBytesTest, RefusedPathsNeverReachTheFileSystem) {
  RecordingFileSystem recording;
  ScopedFileSystem install(recording);
  EXPECT_FALSE(writeFileBytes("", bytesOf("x")));
  EXPECT_FALSE(writeFileBytes(std::string(131069, 'a'), bytesOf("x")));
  EXPECT_FALSE(writeFileBytes(std::string("a\0b", 3), bytesOf("x")));
  EXPECT_FALSE(writeFileBytes("a\xC0z", bytesOf("x")));
  EXPECT_FALSE(writeFileBytes("a\xED\xA0\x80", bytesOf("x")));  // an encoded surrogate
  EXPECT_TRUE(recording.paths.empty());
  EXPECT_TRUE(writeFileBytes(std::string(131068, 'a'), bytesOf("x")));
  EXPECT_EQ(recording.paths.size(), 1u);
}

TEST(WriteFileBytesTest, RefusedPathsCreateNothing) {
  TempDirectory dir;
  EXPECT_FALSE(writeFileBytes(dir.text() + std::string("/a\0b", 4), bytesOf("x")));
  EXPECT_FALSE(writeFileBytes(dir.text() + "/a\xC0z", bytesOf("x")));
  EXPECT_TRUE(dir.isEmpty());
}

TEST(WriteFileBytesTest, CreatesTruncatesAndEmpties) {
  TempDirectory dir;
  const std::string path = dir.text("data.bin");
  Bytes content;
  for (int i = 0; i < 300; ++i) content.push_back(static_cast<std::uint8_t>(i));
  ASSERT_TRUE(writeFileBytes(path, content));
  EXPECT_EQ(readFileBytes(path, 1000), content);

  ASSERT_TRUE(writeFileBytes(path, bytesOf("\r\nshort\n")));
  EXPECT_EQ(readRaw(path), "\r\nshort\n");

  ASSERT_TRUE(writeFileBytes(path, {}));
  EXPECT_EQ(fs::file_size(pathOf(path)), 0u);

  const std::string fresh = dir.text("fresh.bin");
  ASSERT_TRUE(writeFileBytes(fresh, {}));
  EXPECT_TRUE(fileExists(fresh));
  EXPECT_EQ(fs::file_size(pathOf(fresh)), 0u);
}

TEST(WriteFileBytesTest, NonAsciiNamesRoundTrip) {
  TempDirectory dir;
  const std::string path = dir.text("caf\xC3\xA9-\xE6\x97\xA5-\xF0\x9F\x98\x80.bin");
  ASSERT_TRUE(writeFileBytes(path, bytesOf("payload")));
  EXPECT_TRUE(fs::exists(pathOf(path)));
  EXPECT_EQ(readFileBytes(path, 7), bytesOf("payload"));
  EXPECT_TRUE(fileExists(path));
  EXPECT_TRUE(syncFile(path));
  deleteFileQuietly(path);
  EXPECT_TRUE(dir.isEmpty());
}

TEST(WriteFileBytesTest, MissingDirectoryOrDirectoryPathFails) {
  TempDirectory dir;
  EXPECT_FALSE(writeFileBytes(dir.text("missing/data.bin"), bytesOf("x")));
  EXPECT_FALSE(writeFileBytes(dir.text(), bytesOf("x")));
  EXPECT_TRUE(dir.isEmpty());
}

TEST(WriteFileBytesTest, CompletingTheTailWritesTheSameBytesAsAWholeWrite) {
  TempDirectory dir;
  const std::string path = dir.text("tail.bin");
  ASSERT_TRUE(writeFileBytes(path, Bytes(5000, 'o')));  // longer than any case: truncated
  struct Case {
    std::size_t size;
    std::size_t tail;
  };
  for (const Case c : {Case{0, 0}, Case{4, 4}, Case{10, 0}, Case{10, 4}, Case{4099, 4}}) {
    Bytes bytes(c.size);
    for (std::size_t i = 0; i < c.size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    Bytes expected = bytes;
    for (std::size_t i = c.size - c.tail; i < c.size; ++i) expected[i] = static_cast<std::uint8_t>(0xA0 + i % 16);
    int completed = 0;
    ASSERT_TRUE(writeFileBytesCompletingTail(path, bytes, c.tail, [&] {
      for (std::size_t i = c.size - c.tail; i < c.size; ++i) bytes[i] = expected[i];
      ++completed;
    })) << c.size;
    EXPECT_EQ(completed, 1);
    EXPECT_EQ(readFileBytes(path, 1 << 20), expected) << c.size << " " << c.tail;
  }
  // Refused before anything runs: a path that is no file's, a tail longer than the bytes.
  int completed = 0;
  EXPECT_FALSE(writeFileBytesCompletingTail("a\xC0z", bytesOf("x"), 0, [&] { ++completed; }));
  EXPECT_FALSE(writeFileBytesCompletingTail(path, bytesOf("x"), 2, [&] { ++completed; }));
  EXPECT_EQ(completed, 0);
  EXPECT_FALSE(writeFileBytesCompletingTail(dir.text("missing/x"), bytesOf("x"), 1, [] {}));
}

// ---------------------------------------------------------------------------------------------
// syncFile and replaceFile

TEST(SyncFileTest, FlushesExistingFilesOnly) {
  TempDirectory dir;
  const std::string path = dir.text("data.bin");
  EXPECT_FALSE(syncFile(""));
  EXPECT_FALSE(syncFile(path));
  EXPECT_TRUE(dir.isEmpty());  // a missing file is not created

  writeRaw(path, "content");
  EXPECT_TRUE(syncFile(path));
  EXPECT_EQ(readRaw(path), "content");
  EXPECT_FALSE(syncFile(dir.text()));
}

TEST(ReplaceFileTest, MovesOverAnExistingFile) {
  TempDirectory dir;
  const std::string from = dir.text("store.next.corvane");
  const std::string to = dir.text("store.corvane");
  writeRaw(from, "new snapshot");
  writeRaw(to, "old snapshot, longer than the new one");
  ASSERT_TRUE(replaceFile(from, to));
  EXPECT_EQ(readRaw(to), "new snapshot");
  EXPECT_FALSE(fs::exists(pathOf(from)));
}

TEST(ReplaceFileTest, MovesToAMissingTarget) {
  TempDirectory dir;
  const std::string from = dir.text("\xC3\xA9-next");
  const std::string to = dir.text("\xC3\xA9-snapshot");
  writeRaw(from, "bytes");
  ASSERT_TRUE(replaceFile(from, to));
  EXPECT_EQ(readRaw(to), "bytes");
  EXPECT_FALSE(fs::exists(pathOf(from)));
}

TEST(ReplaceFileTest, FailuresLeaveTheTargetAlone) {
  TempDirectory dir;
  const std::string from = dir.text("missing");
  const std::string to = dir.text("target");
  writeRaw(to, "keep");
  EXPECT_FALSE(replaceFile(from, to));
  EXPECT_FALSE(replaceFile("", to));
  EXPECT_FALSE(replaceFile(to, ""));
  EXPECT_FALSE(replaceFile(to, to));
  EXPECT_FALSE(replaceFile(to, dir.text("missing-dir/target")));
  EXPECT_EQ(readRaw(to), "keep");
}

// ---------------------------------------------------------------------------------------------
// fileExists and deleteFileQuietly

TEST(FileExistsTest, OnlyRegularFiles) {
  TempDirectory dir;
  const std::string file = dir.text("file");
  writeRaw(file, "x");
  EXPECT_TRUE(fileExists(file));
  EXPECT_FALSE(fileExists(""));
  EXPECT_FALSE(fileExists(dir.text()));
  EXPECT_FALSE(fileExists(dir.text("missing")));
  EXPECT_FALSE(fileExists(dir.text("missing/child")));
  EXPECT_FALSE(fileExists(file + "/child"));  // a file used as a directory is a definite absence
}

#ifndef _WIN32
TEST(FileExistsTest, UnreadableStatusCountsAsPresentSoTheReadReportsIt) {
  TempDirectory dir;
  const std::string loop = dir.text("loop");
  fs::create_symlink(pathOf(loop), pathOf(loop));
  EXPECT_TRUE(fileExists(loop));
  EXPECT_THROW(readFileBytes(loop, 10), vusk_runtime_exception);
}
#endif

TEST(DeleteFileQuietlyTest, RemovesFilesAndEmptyDirectoriesIgnoringFailures) {
  TempDirectory dir;
  const std::string file = dir.text("file");
  writeRaw(file, "x");
  deleteFileQuietly(file);
  EXPECT_FALSE(fs::exists(pathOf(file)));
  deleteFileQuietly(file);  // missing: ignored
  deleteFileQuietly("");

  const std::string empty = dir.text("empty");
  fs::create_directory(pathOf(empty));
  deleteFileQuietly(empty);
  EXPECT_FALSE(fs::exists(pathOf(empty)));

  const std::string full = dir.text("full");
  fs::create_directory(pathOf(full));
  writeRaw(full + "/inner", "x");
  deleteFileQuietly(full);
  EXPECT_EQ(readRaw(full + "/inner"), "x");
}

// A zero byte ends a path for the operating system, so a path holding one would silently name
// a different file: every file function must treat it as naming no file at all.
TEST(ZeroBytePathTest, NeverReachesTheFileItWouldBeCutTo) {
  TempDirectory dir;
  const std::string file = dir.text("store.corvane");
  const std::string other = dir.text("other");
  writeRaw(file, "precious");
  writeRaw(other, "other");
  const std::string cut = file + std::string("\0.wal", 5);

  const RuntimeError error = runtimeErrorOf([&] { readFileBytes(cut, 100); });
  EXPECT_EQ(error.code, "file.read");
  EXPECT_EQ(error.message, "unable to open file: " + cut);
  EXPECT_FALSE(fileExists(cut));
  EXPECT_FALSE(syncFile(cut));
  EXPECT_FALSE(replaceFile(other + std::string("\0x", 2), file));
  EXPECT_FALSE(replaceFile(other, cut));
  deleteFileQuietly(cut);
  EXPECT_EQ(readRaw(file), "precious");
  EXPECT_EQ(readRaw(other), "other");
}

#ifdef __linux__
TEST(ReadFileBytesTest, ShortReadIsReported) {
  // sysfs reports every attribute as 4096 bytes long but delivers only its few bytes of text.
  const std::string path = "/sys/devices/system/cpu/online";
  if (!fs::exists(path)) GTEST_SKIP() << "no sysfs";
  const RuntimeError error = runtimeErrorOf([&] { readFileBytes(path, 1 << 20); });
  EXPECT_EQ(error.code, "file.read");
  EXPECT_EQ(error.message, "unable to read complete file: " + path);
}
#endif

// ---------------------------------------------------------------------------------------------
// ensureDirectory

// Runs the test with the scratch directory as working directory, so that a refused path that
// was wrongly created would land inside it.
class EnsureDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    fs::current_path(dir.path());
  }
  void TearDown() override { fs::current_path(previous_); }

  TempDirectory dir;

 private:
  fs::path previous_;
};

TEST_F(EnsureDirectoryTest, CreatesEveryLevel) {
  const std::string nested = dir.text("a/b/\xC3\xA9/d");
  ensureDirectory(nested);
  EXPECT_TRUE(fs::is_directory(pathOf(nested)));
  ensureDirectory(nested);  // existing: nothing to do
  EXPECT_TRUE(fs::is_directory(pathOf(nested)));
  ensureDirectory("relative/level");
  EXPECT_TRUE(fs::is_directory(dir.path() / "relative" / "level"));
  ensureDirectory("mixed\\separators/level");
#ifdef _WIN32
  EXPECT_TRUE(fs::is_directory(dir.path() / "mixed" / "separators" / "level"));
#else
  EXPECT_TRUE(fs::is_directory(dir.path() / "mixed\\separators" / "level"));
#endif
}

// Passes every directory operation to the disk and notes it, in order.
class DirectoryLog : public runtime::testing::ForwardingFileSystem {
 public:
  DirectoryCreation createDirectory(const std::string& path) override {
    calls.push_back("create " + fs::path(pathOf(path)).generic_string());
    return diskFileSystem().createDirectory(path);
  }
  void deleteFile(const std::string& path) override {
    calls.push_back("delete " + fs::path(pathOf(path)).generic_string());
    diskFileSystem().deleteFile(path);
  }
  DirectorySync syncDirectory(const std::string& path) override {
    const std::string name = fs::path(pathOf(path)).generic_string();
    DirectorySync synced = diskFileSystem().syncDirectory(path);
    if (name == refusedSync) synced = DirectorySync::kFailed;
    if (name == unsupportedSync) synced = DirectorySync::kUnsupported;
    calls.push_back("sync " + name + (synced == DirectorySync::kFailed ? " failed" : ""));
    return synced;
  }
  std::string refusedSync;
  std::string unsupportedSync;
  std::vector<std::string> calls;
};

// Also the parent of the innermost level found, which a run killed before its own flush may have
// made: the levels are made outermost first, so only that one can lack a durable name.
TEST_F(EnsureDirectoryTest, FlushesTheParentOfEveryLevelItCreatesAndOfTheLevelItFinds) {
  const std::string base = fs::path(dir.path()).generic_string();
  const std::string above = fs::path(dir.path()).parent_path().generic_string();
  struct Case {
    std::string path;
    std::vector<std::string> calls;
    std::string refusedSync;
    bool made = true;
    std::string unsupportedSync;
  };
  const std::vector<Case> cases = {
      {dir.text("a/b/c"),
       {"sync " + above, "create " + base + "/a", "sync " + base, "create " + base + "/a/b", "sync " + base + "/a",
        "create " + base + "/a/b/c", "sync " + base + "/a/b"}},
      {dir.text("a/b/d/"), {"sync " + base + "/a", "create " + base + "/a/b/d", "sync " + base + "/a/b"}},
      {dir.text("a/b"), {"sync " + base + "/a"}},
      {"rel/one", {"create rel", "sync .", "create rel/one", "sync rel"}},
      {"rel/one/two", {"sync rel", "create rel/one/two", "sync rel/one"}},
      // A level whose name cannot be made durable is removed, and nothing is made below it.
      {dir.text("x/y/z"),
       {"sync " + above, "create " + base + "/x", "sync " + base, "create " + base + "/x/y",
        "sync " + base + "/x failed", "delete " + base + "/x/y"},
       base + "/x",
       false},
      // A file system that does not flush directories writes the creation through: it stays.
      {dir.text("u/v"),
       {"sync " + above, "create " + base + "/u", "sync " + base, "create " + base + "/u/v", "sync " + base + "/u"},
       "",
       true,
       base + "/u"},
      // The flush of a level found is all that can be done for it: a refusal leaves it in place.
      {dir.text("a/b/e"),
       {"sync " + base + "/a failed", "create " + base + "/a/b/e", "sync " + base + "/a/b"},
       base + "/a"},
  };
  for (const Case& c : cases) {
    DirectoryLog log;
    log.refusedSync = c.refusedSync;
    log.unsupportedSync = c.unsupportedSync;
    {
      ScopedFileSystem scope(log);
      ensureDirectory(c.path);
    }
    EXPECT_EQ(log.calls, c.calls) << c.path;
    EXPECT_EQ(fs::is_directory(pathOf(c.path)), c.made) << c.path;
  }
}

TEST_F(EnsureDirectoryTest, ExistingFileIsLeftAlone) {
  const std::string file = dir.text("file");
  writeRaw(file, "content");
  ensureDirectory(file);
  EXPECT_EQ(readRaw(file), "content");
  ensureDirectory(file + "/below");
  EXPECT_EQ(readRaw(file), "content");
  EXPECT_FALSE(fs::exists(pathOf(file + "/below")));
}

TEST_F(EnsureDirectoryTest, NamespacePrefixesAreRefused) {
  const std::vector<std::string> refused = {
      "\\\\?\\x", "\\\\?\\", "\\/?/x",    "\\\\.\\x", "\\\\./x",  "\\/.\\x",
      "\\??\\x",  "\\?\?/x", "\\\\??\\x", "\\/?\?/x", "\\\\??\\", "//./" + dir.text("x"),
  };
  for (const std::string& path : refused) {
    ensureDirectory(path);
    EXPECT_TRUE(dir.isEmpty()) << path;
  }
#ifdef _WIN32
  ensureDirectory("//?/" + dir.text("y"));
  EXPECT_TRUE(dir.isEmpty());
#endif
}

TEST_F(EnsureDirectoryTest, UncPathsNeedServerAndShare) {
  for (const char* path : {"\\\\server", "\\\\server\\", "\\/server/", "\\\\\\share", "\\\\\\", "\\\\server\\\\share",
                           "\\/server//share"}) {
    ensureDirectory(path);
    EXPECT_TRUE(dir.isEmpty()) << path;
  }
}

TEST_F(EnsureDirectoryTest, InvalidTextIsRefused) {
  for (const std::string& path :
       {std::string("a\0b", 3), std::string("a\xC0z"), std::string("a\xED\xA0\x80"), std::string("\xFF")}) {
    ensureDirectory(path);
    EXPECT_TRUE(dir.isEmpty());
  }
  ensureDirectory("");
  EXPECT_TRUE(dir.isEmpty());
}

#ifndef _WIN32
// On POSIX a backslash is an ordinary byte, so paths that pass the checks land in the working
// directory under their literal names.
TEST_F(EnsureDirectoryTest, AcceptedUncFormAndShortPathsAreCreated) {
  ensureDirectory("\\\\server\\share");
  EXPECT_TRUE(fs::is_directory(dir.path() / "\\\\server\\share"));
  ensureDirectory("\\??");  // too short for the prefix test
  EXPECT_TRUE(fs::is_directory(dir.path() / "\\??"));
}
#endif

// ---------------------------------------------------------------------------------------------
// environmentVariable

void setVariable(const std::string& name, const std::string& value) {
#ifdef _WIN32
  const std::wstring wideName = utf8ToUtf16(name);
  const std::wstring wideValue = utf8ToUtf16(value);
  ASSERT_EQ(_wputenv_s(wideName.c_str(), wideValue.c_str()), 0) << name;
#else
  ASSERT_EQ(::setenv(name.c_str(), value.c_str(), 1), 0) << name;
#endif
}

void unsetVariable(const std::string& name) {
#ifdef _WIN32
  _wputenv_s(utf8ToUtf16(name).c_str(), L"");
#else
  ::unsetenv(name.c_str());
#endif
}

TEST(EnvironmentVariableTest, ReadsSetValues) {
  setVariable("OREB_RT_PLAIN", "data/oreb-vet");
  EXPECT_EQ(environmentVariable("OREB_RT_PLAIN"), "data/oreb-vet");
  setVariable("OREB_RT_UTF8", "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80");
  EXPECT_EQ(environmentVariable("OREB_RT_UTF8"), "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80");
  setVariable("OREB_RT_\xC3\x89T\xC3\x89", "summer");
  EXPECT_EQ(environmentVariable("OREB_RT_\xC3\x89T\xC3\x89"), "summer");
  unsetVariable("OREB_RT_PLAIN");
  unsetVariable("OREB_RT_UTF8");
  unsetVariable("OREB_RT_\xC3\x89T\xC3\x89");
  EXPECT_EQ(environmentVariable("OREB_RT_PLAIN"), "");
}

TEST(EnvironmentVariableTest, RefusedNamesGiveEmpty) {
  setVariable("OREB_RT_SET", "value");
  EXPECT_EQ(environmentVariable(""), "");
  EXPECT_EQ(environmentVariable(std::string("OREB_RT_SET\0X", 13)), "");
  EXPECT_EQ(environmentVariable("OREB_RT_NEVER_SET_ANYWHERE"), "");
  unsetVariable("OREB_RT_SET");
}

TEST(EnvironmentVariableTest, EmptyValueGivesEmpty) {
  setVariable("OREB_RT_EMPTY", "");
  EXPECT_EQ(environmentVariable("OREB_RT_EMPTY"), "");
}

TEST(EnvironmentVariableTest, LongValuesAreReadWhole) {
#ifdef _WIN32
  constexpr int kLongestUnits = 32766;  // the environment block holds no more per variable
#else
  constexpr int kLongestUnits = 32767;
#endif
  setVariable("OREB_RT_LONG", std::string(kLongestUnits, 'v'));
  EXPECT_TRUE(environmentVariable("OREB_RT_LONG") == std::string(kLongestUnits, 'v'));
  // Four-byte characters take two UTF-16 units each.
  std::string wide;
  for (int i = 0; i < kLongestUnits / 2; ++i) wide += "\xF0\x9F\x98\x80";
  if (kLongestUnits % 2 == 1) wide += "v";
  setVariable("OREB_RT_LONG", wide);
  EXPECT_TRUE(environmentVariable("OREB_RT_LONG") == wide);
  unsetVariable("OREB_RT_LONG");
}

#ifdef _WIN32
TEST(EnvironmentVariableTest, UnpairedSurrogateGivesEmptyOnWindows) {
  ASSERT_TRUE(::SetEnvironmentVariableW(L"OREB_RT_BAD", L"a\xD800z"));
  EXPECT_EQ(environmentVariable("OREB_RT_BAD"), "");
  ::SetEnvironmentVariableW(L"OREB_RT_BAD", nullptr);
}
#else
TEST(EnvironmentVariableTest, TooLongOrInvalidTextGivesEmptyOnPosix) {
  setVariable("OREB_RT_BAD", std::string(32768, 'v'));
  EXPECT_EQ(environmentVariable("OREB_RT_BAD").size(), 0u);
  std::string wide;
  for (int i = 0; i < 16384; ++i) wide += "\xF0\x9F\x98\x80";
  setVariable("OREB_RT_BAD", wide);
  EXPECT_EQ(environmentVariable("OREB_RT_BAD").size(), 0u);
  setVariable("OREB_RT_BAD", "a\xC0z");
  EXPECT_EQ(environmentVariable("OREB_RT_BAD"), "");
  setVariable("OREB_RT_BAD", "a\xED\xA0\x80");
  EXPECT_EQ(environmentVariable("OREB_RT_BAD"), "");
  unsetVariable("OREB_RT_BAD");
  // A name that is not UTF-8 cannot be asked for, even when the environment holds it.
  setVariable("OREB_RT_\xC0", "value");
  EXPECT_EQ(environmentVariable("OREB_RT_\xC0"), "");
  unsetVariable("OREB_RT_\xC0");
}
#endif

// ---------------------------------------------------------------------------------------------
// printLine

class SyncCountingBuffer : public std::stringbuf {
 public:
  int syncs = 0;

 protected:
  int sync() override {
    ++syncs;
    return std::stringbuf::sync();
  }
};

TEST(PrintLineTest, WritesTextLineEndAndFlushes) {
  SyncCountingBuffer buffer;
  std::ostream stream(&buffer);
  printLine(stream, "oreb-vet: pass");
  EXPECT_EQ(buffer.str(), "oreb-vet: pass\n");
  EXPECT_EQ(buffer.syncs, 1);
  printLine(stream, std::string("a\0\xC3\xA9", 4));
  EXPECT_EQ(buffer.str(), std::string("oreb-vet: pass\na\0\xC3\xA9\n", 20));
  EXPECT_EQ(buffer.syncs, 2);
  printLine(stream, "");
  EXPECT_EQ(buffer.str().back(), '\n');
}

TEST(PrintLineTest, HonoursTheFieldWidth) {
  std::ostringstream stream;
  stream.width(6);
  printLine(stream, "abc");
  printLine(stream, "abc");
  EXPECT_EQ(stream.str(), "   abc\nabc\n");
}

}  // namespace
}  // namespace runtime
