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
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    // Tests run in parallel processes: a name is taken only by the one whose creation made it.
    for (;;) {
      const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
      path_ = base / ("oreb-test-" + std::to_string(stamp) + "-" + std::to_string(std::random_device{}()) + "-" +
                      std::to_string(counter++));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The directory, or a name inside it joined with "/" byte for byte (it may hold "/" itself, or
  // bytes a path could not, for tests of refusals).
  std::string text() const { return utf8Of(path_); }
  std::string text(const std::string& utf8Name) const { return text() + "/" + utf8Name; }
  bool isEmpty() const { return std::filesystem::is_empty(path_); }

 private:
  static std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
  }

  std::filesystem::path path_;
};

}  // namespace runtime::testing
