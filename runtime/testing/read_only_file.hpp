// A file made read-only for a test: its write permissions removed (on Windows, its read-only
// attribute set) while the object lives, and given back after, so that the scratch directory
// can be removed. Root ignores file permissions on Linux (CAP_DAC_OVERRIDE): the calling thread
// sets that override aside meanwhile, so that the file refuses a write open there too. Where
// neither works, refusesWrites() says so and the test skips: under wine the files are opened by
// the wine server, which a root user's test cannot take the override from (run the tests with
// `setpriv --bounding-set -dac_override --inh-caps -dac_override` to have them refused).
#pragma once

#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#if defined(__linux__)
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace runtime::testing {

// Why a test that needs a read-only file skips.
inline constexpr const char* kWritesNotRefused =
    "a file made read-only can still be opened for writing here (root, or wine's server run as root)";

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(std::filesystem::path path) : path_(std::move(path)) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::permissions(path_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, error);
#if defined(__linux__)
    // Capabilities belong to the thread: lowering the effective set needs no privilege, and
    // what is still permitted is raised again at the end.
    overridden_ = ::syscall(SYS_capget, &header_, saved_) == 0 && (saved_[0].effective & kOverride) != 0;
    if (overridden_) {
      __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
      lowered[0].effective &= ~kOverride;
      overridden_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
#endif
  }
  ~ReadOnlyFile() {
#if defined(__linux__)
    if (overridden_) ::syscall(SYS_capset, &header_, saved_);
#endif
    std::error_code error;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_write, std::filesystem::perm_options::add, error);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // True when a write open of the file is refused now, as the test means it to be.
  bool refusesWrites() const {
    std::ofstream stream(path_, std::ios::binary | std::ios::app);
    return !stream.is_open();
  }

 private:
  std::filesystem::path path_;
#if defined(__linux__)
  static constexpr unsigned kOverride = 1U << CAP_DAC_OVERRIDE;
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2] = {};
  bool overridden_ = false;
#endif
};

}  // namespace runtime::testing
