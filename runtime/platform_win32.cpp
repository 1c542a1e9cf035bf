// Win32 side of the platform seam.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runtime/platform.hpp"
#include "runtime/sharing_retry.hpp"
#include "runtime/utf16.hpp"

namespace runtime::platform {

namespace {

bool writeAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (::WriteFile(file, data, chunk, &written, nullptr) == 0 || written == 0) return false;
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

bool writeFileInParts(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size,
                      std::size_t tailBytes, const std::function<void()>& completeTail) {
  if (isDirectory(path)) return false;
  HANDLE file = openRetryingWhileShared(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::size_t body = size - tailBytes;
  bool written = writeAll(file, data, body);
  completeTail();
  written = written && writeAll(file, data + body, tailBytes);
  const BOOL closed = ::CloseHandle(file);
  return written && closed != 0;
}

bool flushFile(const std::filesystem::path& path) {
  // A directory only opens with backup semantics; trying it again would not change that.
  if (isDirectory(path)) return false;
  HANDLE file = openRetryingWhileShared(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return false;
  const BOOL flushed = ::FlushFileBuffers(file);
  const BOOL closed = ::CloseHandle(file);
  return flushed != 0 && closed != 0;
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

namespace {

// Reads exactly bytes.size() bytes from the offset.
bool readExactAt(HANDLE file, std::int64_t offset, std::vector<std::uint8_t>& bytes) {
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

}  // namespace

FileRead readFileEnds(const std::filesystem::path& path, std::size_t headBytes, std::size_t tailBytes,
                      std::int64_t& size, std::vector<std::uint8_t>& head, std::vector<std::uint8_t>& tail) {
  if (isDirectory(path)) return FileRead::kUnopenable;
  HANDLE file = openRetryingWhileShared(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return FileRead::kUnopenable;
  FileRead result = FileRead::kRead;
  LARGE_INTEGER length{};
  if (::GetFileSizeEx(file, &length) == 0 || length.QuadPart < 0) {
    result = FileRead::kSizeUnknown;
  } else {
    size = length.QuadPart;
    const auto bytes = static_cast<std::uint64_t>(size);
    try {
      head.assign(static_cast<std::size_t>(std::min<std::uint64_t>(bytes, headBytes)), 0);
      tail.assign(static_cast<std::size_t>(std::min<std::uint64_t>(bytes, tailBytes)), 0);
    } catch (...) {
      // Out of memory: a handle left open would hold the file against every later move over it.
      ::CloseHandle(file);
      throw;
    }
    if (!readExactAt(file, 0, head) || !readExactAt(file, size - static_cast<std::int64_t>(tail.size()), tail)) {
      result = FileRead::kIncomplete;
    }
  }
  ::CloseHandle(file);
  return result;
}

FileRead readWholeFile(const std::filesystem::path& path, std::int64_t maxBytes, std::vector<std::uint8_t>& bytes) {
  if (isDirectory(path)) return FileRead::kUnopenable;
  // The writer of the file holds it without write sharing only while it writes it.
  HANDLE file = openRetryingWhileShared(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return FileRead::kUnopenable;
  FileRead result = FileRead::kRead;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file, &size) == 0 || size.QuadPart < 0) {
    result = FileRead::kSizeUnknown;
  } else if (size.QuadPart > maxBytes) {
    result = FileRead::kTooLarge;
  } else {
    try {
      bytes.assign(static_cast<std::size_t>(size.QuadPart), 0);
    } catch (...) {
      ::CloseHandle(file);  // as in readFileEnds
      throw;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
      const std::size_t left = bytes.size() - done;
      const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
      DWORD read = 0;
      if (::ReadFile(file, bytes.data() + done, chunk, &read, nullptr) == 0 || read == 0) break;
      done += read;
    }
    if (done != bytes.size()) result = FileRead::kIncomplete;
  }
  ::CloseHandle(file);
  return result;
}

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
