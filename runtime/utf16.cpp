#ifdef _WIN32

#include "runtime/utf16.hpp"

#include <windows.h>

namespace runtime {

namespace {
constexpr int kMaxUtf8Bytes = 131068;
constexpr int kMaxUtf16Units = 32768;
}  // namespace

std::wstring utf8ToUtf16(std::string_view text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(kMaxUtf8Bytes)) return {};
  const int size = static_cast<int>(text.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (units < 1 || units > kMaxUtf16Units) return {};
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), units) != units) return {};
  return wide;
}

std::string utf16ToUtf8(std::wstring_view text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(kMaxUtf8Bytes)) return {};
  const int size = static_cast<int>(text.size());
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (bytes < 1 || bytes > kMaxUtf8Bytes) return {};
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, utf8.data(), bytes, nullptr, nullptr) !=
      bytes) {
    return {};
  }
  return utf8;
}

std::string utf16ToUtf8Replacing(std::wstring_view text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(kMaxUtf16Units)) return {};
  const int size = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (bytes < 1) return {};
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  if (::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), bytes, nullptr, nullptr) != bytes) return {};
  return utf8;
}

}  // namespace runtime

#endif
