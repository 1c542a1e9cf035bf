// Win32 side of the platform seam.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "runtime/platform.hpp"
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

}  // namespace

bool writeFileInParts(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size,
                      std::size_t tailBytes, const std::function<void()>& completeTail) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::size_t body = size - tailBytes;
  bool written = writeAll(file, data, body);
  completeTail();
  written = written && writeAll(file, data + body, tailBytes);
  const BOOL closed = ::CloseHandle(file);
  return written && closed != 0;
}

bool flushFile(const std::filesystem::path& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const BOOL flushed = ::FlushFileBuffers(file);
  const BOOL closed = ::CloseHandle(file);
  return flushed != 0 && closed != 0;
}

bool moveReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool flushDirectory(const std::filesystem::path& path) {
  // A directory opens only with backup semantics; the flush needs write access to it.
  HANDLE directory =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (directory == INVALID_HANDLE_VALUE) return false;
  const BOOL flushed = ::FlushFileBuffers(directory);
  const BOOL closed = ::CloseHandle(directory);
  return flushed != 0 && closed != 0;
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
