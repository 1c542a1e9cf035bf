// A uniquely named scratch directory under the system's temporary directory, for tests: created
// empty, removed with everything in it when the test ends. Paths are handed out as UTF-8 texts
// with "/" separators, as the file functions and the store take them. Throws
// std::filesystem::filesystem_error when the directory cannot be created.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace runtime::testing {

class TempDirectory {
 public:
  TempDirectory() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string name = "oreb-test-" + std::to_string(stamp) + "-" + std::to_string(std::random_device{}()) + "-" +
                             std::to_string(counter++);
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(path_);
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The directory, or a name inside it (which may hold "/").
  std::string text() const { return utf8Of(path_); }
  std::string text(const std::string& utf8Name) const {
    return utf8Of(path_ / std::filesystem::path(std::u8string(utf8Name.begin(), utf8Name.end())));
  }
  bool isEmpty() const { return std::filesystem::is_empty(path_); }

 private:
  static std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
  }

  std::filesystem::path path_;
};

}  // namespace runtime::testing
