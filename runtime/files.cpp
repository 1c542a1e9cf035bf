#include "runtime/files.hpp"

#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "runtime/file_system.hpp"
#include "runtime/platform.hpp"
#include "runtime/runtime_error.hpp"

namespace runtime {

namespace {

constexpr std::size_t kMaxPathBytes = 131068;

[[noreturn]] void throwRead(const char* code, const std::string& message) {
  throw vusk_runtime_exception(makeRuntimeError(code, message));
}

bool isUsableText(std::string_view path) {
  return !path.empty() && path.size() <= kMaxPathBytes && path.find('\0') == std::string_view::npos &&
         isStrictUtf8(path);
}

// The operating system ends a path at its first zero byte, so such a text would name a
// different file; the file functions treat it as naming none.
bool holdsZeroByte(std::string_view path) { return path.find('\0') != std::string_view::npos; }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The long-path, device and object namespaces, and UNC paths without a server and share.
bool isRefusedDirectoryPath(std::string_view path) {
  const std::size_t n = path.size();
  if (n >= 4) {
    if (isSeparator(path[0]) && isSeparator(path[1]) && (path[2] == '?' || path[2] == '.') && isSeparator(path[3])) {
      return true;
    }
    if (isSeparator(path[0]) && path[1] == '?' && path[2] == '?' && isSeparator(path[3])) return true;
  }
  if (n >= 5 && isSeparator(path[0]) && isSeparator(path[1]) && path[2] == '?' && path[3] == '?' &&
      isSeparator(path[4])) {
    return true;
  }
  if (n >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    std::size_t server = 2;
    while (server < n && !isSeparator(path[server])) ++server;
    if (server == n || server == 2) return true;
    if (server + 1 == n) return true;
    if (isSeparator(path[server + 1])) return true;
  }
  return false;
}

class DiskFileSystem final : public FileSystem {
 public:
  Bytes readFile(const std::string& path, std::int64_t maxBytes) override {
    Bytes bytes;
    switch (platform::readWholeFile(toNativePath(path), maxBytes, bytes)) {
      case platform::FileRead::kRead:
        return bytes;
      case platform::FileRead::kUnopenable:
        throwRead("file.read", "unable to open file: " + path);
      case platform::FileRead::kSizeUnknown:
        throwRead("file.read", "unable to determine file size: " + path);
      case platform::FileRead::kTooLarge:
        throwRead("file.read.limit", "file exceeds maximum byte count: " + path);
      case platform::FileRead::kIncomplete:
        break;
    }
    throwRead("file.read", "unable to read complete file: " + path);
  }

  // Text that is not UTF-8 names no file: reading or flushing one throws the conversion's error
  // (toNativePath), every other operation answers as for a file that is not there.

  bool writeFile(const std::string& path, const Bytes& bytes) override {
    return writeFileCompletingTail(path, bytes, 0, [] {});
  }

  bool writeFileCompletingTail(const std::string& path, const Bytes& bytes, std::size_t tailBytes,
                               const std::function<void()>& completeTail) override {
    const std::optional<std::filesystem::path> native = nativePathOf(path);
    if (!native.has_value()) return false;
    return platform::writeFileInParts(*native, bytes.data(), bytes.size(), tailBytes, completeTail);
  }

  bool syncFile(const std::string& path) override { return platform::flushFile(toNativePath(path)); }

  bool replaceFile(const std::string& from, const std::string& to) override {
    const std::optional<std::filesystem::path> source = nativePathOf(from);
    const std::optional<std::filesystem::path> target = nativePathOf(to);
    if (!source.has_value() || !target.has_value()) return false;
    return platform::moveReplacing(*source, *target);
  }

  void deleteFile(const std::string& path) override {
    const std::optional<std::filesystem::path> native = nativePathOf(path);
    if (native.has_value()) platform::removePath(*native);
  }

  DirectoryCreation createDirectory(const std::string& path) override {
    const std::optional<std::filesystem::path> native = nativePathOf(path);
    if (!native.has_value()) return DirectoryCreation::kUnavailable;
    if (platform::makeDirectory(*native)) return DirectoryCreation::kCreated;
    std::error_code error;
    return std::filesystem::is_directory(std::filesystem::status(*native, error)) && !error
               ? DirectoryCreation::kPresent
               : DirectoryCreation::kUnavailable;
  }

  DirectorySync syncDirectory(const std::string& path) override {
    const std::optional<std::filesystem::path> native = nativePathOf(path);
    if (!native.has_value()) return DirectorySync::kFailed;
    switch (platform::flushDirectory(*native)) {
      case platform::DirectoryFlush::kFlushed:
        return DirectorySync::kFlushed;
      case platform::DirectoryFlush::kUnsupported:
        return DirectorySync::kUnsupported;
      case platform::DirectoryFlush::kFailed:
        break;
    }
    return DirectorySync::kFailed;
  }

  bool fileExists(const std::string& path) override {
    const std::optional<std::filesystem::path> native = nativePathOf(path);
    if (!native.has_value()) return false;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(*native, error);
    if (error) {
      return error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory;
    }
    return std::filesystem::is_regular_file(status);
  }
};

FileSystem* gCurrent = nullptr;
thread_local WriteFailure tLastWriteFailure = WriteFailure::kNone;

std::string utf8Of(const std::filesystem::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

// The directory above the path's last component; a trailing separator names no component.
std::filesystem::path parentOf(std::filesystem::path path) {
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
  std::filesystem::path parent = path.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

}  // namespace

FileSystem::~FileSystem() = default;

FileSystem::DirectoryCreation FileSystem::createDirectory(const std::string& path) {
  return diskFileSystem().createDirectory(path);
}

FileSystem::DirectorySync FileSystem::syncDirectory(const std::string& path) {
  return diskFileSystem().syncDirectory(path);
}

bool FileSystem::writeFileCompletingTail(const std::string& path, const Bytes& bytes, std::size_t,
                                         const std::function<void()>& completeTail) {
  completeTail();
  return writeFile(path, bytes);
}

WriteFailure lastWriteFailure() { return tLastWriteFailure; }

void noteWriteFailure(WriteFailure failure) { tLastWriteFailure = failure; }

FileSystem& diskFileSystem() {
  static DiskFileSystem disk;
  return disk;
}

FileSystem& currentFileSystem() { return gCurrent != nullptr ? *gCurrent : diskFileSystem(); }

ScopedFileSystem::ScopedFileSystem(FileSystem& fileSystem) : previous_(gCurrent) { gCurrent = &fileSystem; }

ScopedFileSystem::~ScopedFileSystem() { gCurrent = previous_; }

std::optional<std::filesystem::path> nativePathOf(std::string_view utf8Path) {
  // Windows cannot convert such a text to its UTF-16 names, so no file there has it as its
  // name. POSIX would hand the bytes through and could find one; refusing the text here keeps
  // both platforms naming the same files.
  if (!isStrictUtf8(utf8Path)) return std::nullopt;
  std::u8string u8(utf8Path.size(), u8'\0');
  for (std::size_t i = 0; i < utf8Path.size(); ++i) u8[i] = static_cast<char8_t>(utf8Path[i]);
  return std::filesystem::path(u8);
}

std::filesystem::path toNativePath(std::string_view utf8Path) {
  std::optional<std::filesystem::path> native = nativePathOf(utf8Path);
  if (!native.has_value()) {
    throw std::filesystem::filesystem_error("path is not valid UTF-8",
                                            std::make_error_code(std::errc::illegal_byte_sequence));
  }
  return std::move(*native);
}

bool namesNoFile(std::string_view path) { return path.empty() || holdsZeroByte(path); }

Bytes readFileBytes(const std::string& path, std::int64_t maxBytes) {
  if (maxBytes < 0) throwRead("file.read.limit", "maximum byte count must not be negative");
  if (holdsZeroByte(path)) throwRead("file.read", "unable to open file: " + path);
  return currentFileSystem().readFile(path, maxBytes);
}

bool writeFileBytes(const std::string& path, const Bytes& bytes) {
  noteWriteFailure(WriteFailure::kNone);
  if (!isUsableText(path)) return false;
  return currentFileSystem().writeFile(path, bytes);
}

bool writeFileBytesCompletingTail(const std::string& path, const Bytes& bytes, std::size_t tailBytes,
                                  const std::function<void()>& completeTail) {
  noteWriteFailure(WriteFailure::kNone);
  if (!isUsableText(path) || tailBytes > bytes.size()) return false;
  return currentFileSystem().writeFileCompletingTail(path, bytes, tailBytes, completeTail);
}

bool syncFile(const std::string& path) {
  noteWriteFailure(WriteFailure::kNone);
  if (namesNoFile(path)) return false;
  return currentFileSystem().syncFile(path);
}

bool replaceFile(const std::string& from, const std::string& to) {
  if (namesNoFile(from) || namesNoFile(to) || from == to) return false;
  return currentFileSystem().replaceFile(from, to);
}

bool syncDirectory(const std::string& path) {
  if (namesNoFile(path)) return false;
  return currentFileSystem().syncDirectory(path) != FileSystem::DirectorySync::kFailed;
}

std::string parentDirectory(const std::string& path) { return utf8Of(parentOf(toNativePath(path))); }

bool fileExists(const std::string& path) {
  if (namesNoFile(path)) return false;
  return currentFileSystem().fileExists(path);
}

void deleteFileQuietly(const std::string& path) {
  if (namesNoFile(path)) return;
  currentFileSystem().deleteFile(path);
}

void ensureDirectory(const std::string& path) {
  if (!isUsableText(path) || isRefusedDirectoryPath(path)) return;
  // Text that is not UTF-8 is among the refused paths above; the conversion is checked all the same.
  const std::optional<std::filesystem::path> converted = nativePathOf(path);
  if (!converted.has_value()) return;
  const std::filesystem::path& native = *converted;
  std::error_code error;
  const auto status = std::filesystem::status(native, error);
  if (error) {
    if (error != std::errc::no_such_file_or_directory) return;
  } else if (std::filesystem::exists(status)) {
    // A run killed between making the directory and flushing its parent left it behind with a
    // name a power cut can still take: it is made durable now. A failure leaves the directory
    // in place, as this run did not make it.
    if (std::filesystem::is_directory(status)) currentFileSystem().syncDirectory(utf8Of(parentOf(native)));
    return;
  }
  // The missing levels, innermost first; the walk stops at the first one that exists.
  std::vector<std::filesystem::path> missing;
  std::optional<std::filesystem::path> found;
  for (std::filesystem::path level = native; level.has_relative_path(); level = level.parent_path()) {
    if (!level.has_filename()) continue;  // a trailing separator
    std::error_code levelError;
    if (std::filesystem::exists(std::filesystem::status(level, levelError)) && !levelError) {
      found = level;
      break;
    }
    missing.push_back(level);
  }
  // A new directory's name lives in its parent, and is durable once the parent is flushed. A
  // level whose name could not be made durable is taken away again: a store opened in it
  // could otherwise answer true for a commit that a power cut then loses with the directory.
  // The levels are made and flushed outermost first, so of those a killed run made only the
  // innermost can be without a durable name: the level found is flushed into its parent too.
  FileSystem& fileSystem = currentFileSystem();
  if (found.has_value()) fileSystem.syncDirectory(utf8Of(parentOf(*found)));
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    const std::string text = utf8Of(*level);
    const FileSystem::DirectoryCreation created = fileSystem.createDirectory(text);
    if (created == FileSystem::DirectoryCreation::kUnavailable) return;
    if (created == FileSystem::DirectoryCreation::kCreated &&
        fileSystem.syncDirectory(utf8Of(parentOf(*level))) == FileSystem::DirectorySync::kFailed) {
      fileSystem.deleteFile(text);
      return;
    }
  }
}

std::string environmentVariable(const std::string& name) {
  // A name that is not UTF-8 cannot be converted on Windows; refusing it here as well keeps
  // both platforms alike.
  if (!isUsableText(name)) return {};
  return platform::environmentValue(name);
}

void printLine(std::ostream& stream, std::string_view text) { stream << text << std::endl; }

}  // namespace runtime
