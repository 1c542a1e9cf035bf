// Win32 side of the platform seam.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runtime/file_system.hpp"
#include "runtime/platform.hpp"
#include "runtime/sharing_retry.hpp"
#include "runtime/utf16.hpp"

namespace runtime::platform {

namespace {

bool writeAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (::WriteFile(file, data, chunk, &written, nullptr) == 0) return noteLastWriteFailure();
    if (written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// CreateFileW, tried again while another program's handle holds the file (sharing_retry.hpp).
HANDLE openRetryingWhileShared(const std::filesystem::path& path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE file = INVALID_HANDLE_VALUE;
  const std::uint32_t error = retryWhileShared([&] {
    file = ::CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? static_cast<std::uint32_t>(::GetLastError()) : 0u;
  });
  if (error != 0) ::SetLastError(error);
  return file;
}

bool isDirectory(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool noteLastWriteFailure() {
  const DWORD error = ::GetLastError();
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
    noteWriteFailure(WriteFailure::kNoRoom);
  } else {
    const bool refused = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
    noteWriteFailure(refused ? WriteFailure::kNoPermission : WriteFailure::kOther);
  }
  return false;
}

bool writeFileInParts(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size,
                      std::size_t tailBytes, const std::function<void()>& completeTail) {
  if (isDirectory(path)) return false;
  HANDLE file = openRetryingWhileShared(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return noteLastWriteFailure();
  const std::size_t body = size - tailBytes;
  bool written = writeAll(file, data, body);
  completeTail();
  written = written && writeAll(file, data + body, tailBytes);
  const bool closed = ::CloseHandle(file) != 0 || noteLastWriteFailure();
  return written && closed;
}

bool flushFile(const std::filesystem::path& path) {
  // A directory only opens with backup semantics; trying it again would not change that.
  if (isDirectory(path)) return false;
  HANDLE file = openRetryingWhileShared(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return noteLastWriteFailure();
  const bool flushed = ::FlushFileBuffers(file) != 0 || noteLastWriteFailure();
  const bool closed = ::CloseHandle(file) != 0 || noteLastWriteFailure();
  return flushed && closed;
}

bool moveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  // A scanner that opened the new file, or a reader holding the replaced one, makes the move
  // fail for a moment.
  return retryWhileShared([&] {
           const BOOL moved =
               ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
           return moved != 0 ? 0u : static_cast<std::uint32_t>(::GetLastError());
         }) == 0;
}

DirectoryFlush flushDirectory(const std::filesystem::path& path) {
  // A directory opens only with backup semantics; the flush needs write access to it.
  HANDLE directory =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (directory == INVALID_HANDLE_VALUE) return DirectoryFlush::kFailed;
  const BOOL flushed = ::FlushFileBuffers(directory);
  const DWORD error = flushed != 0 ? 0 : ::GetLastError();
  const BOOL closed = ::CloseHandle(directory);
  if (closed == 0) return DirectoryFlush::kFailed;
  if (flushed != 0) return DirectoryFlush::kFlushed;
  // Windows documents the flush for files. NTFS accepts it for a directory; FAT, exFAT and
  // network shares refuse it, and their moves are written through (MOVEFILE_WRITE_THROUGH).
  return isDirectoryFlushRefusal(error) ? DirectoryFlush::kUnsupported : DirectoryFlush::kFailed;
}

bool removePath(const std::filesystem::path& path) {
  if (isDirectory(path)) return ::RemoveDirectoryW(path.c_str()) != 0;
  return retryWhileShared(
             [&] { return ::DeleteFileW(path.c_str()) != 0 ? 0u : static_cast<std::uint32_t>(::GetLastError()); }) == 0;
}

bool makeDirectory(const std::filesystem::path& path) { return ::CreateDirectoryW(path.c_str(), nullptr) != 0; }

FileRead openForReading(const std::filesystem::path& path, std::intptr_t& handle, std::int64_t& size) {
  if (isDirectory(path)) return FileRead::kUnopenable;
  // The writer of the file holds it without write sharing only while it writes it.
  HANDLE file = openRetryingWhileShared(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return FileRead::kUnopenable;
  LARGE_INTEGER length{};
  if (::GetFileSizeEx(file, &length) == 0 || length.QuadPart < 0) {
    ::CloseHandle(file);
    return FileRead::kSizeUnknown;
  }
  handle = reinterpret_cast<std::intptr_t>(file);
  size = length.QuadPart;
  return FileRead::kRead;
}

bool readExactAt(std::intptr_t handle, std::int64_t offset, std::vector<std::uint8_t>& bytes) {
  HANDLE file = reinterpret_cast<HANDLE>(handle);
  LARGE_INTEGER at{};
  at.QuadPart = offset;
  if (::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) == 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t left = bytes.size() - done;
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD read = 0;
    if (::ReadFile(file, bytes.data() + done, chunk, &read, nullptr) == 0 || read == 0) return false;
    done += read;
  }
  return true;
}

void closeReadHandle(std::intptr_t handle) { ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

std::string environmentValue(const std::string& name) {
  constexpr DWORD kMaxUnits = 32768;
  const std::wstring wideName = utf8ToUtf16(name);
  // The name and its terminator must fit in 32768 units.
  if (wideName.empty() || wideName.size() >= kMaxUnits) return {};
  const DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (needed < 1 || needed > kMaxUnits) return {};
  std::wstring value(needed, L'\0');
  const DWORD copied = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), needed);
  // The value is empty, or it changed between the two calls.
  if (copied < 1 || copied != needed - 1) return {};
  value.resize(copied);
  return utf16ToUtf8(value);
}

}  // namespace runtime::platform
