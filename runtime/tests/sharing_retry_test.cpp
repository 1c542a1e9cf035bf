// The retry of calls held up by another program's open handle: which errors pass, how often a
// call runs and how long it pauses, against a fake call that fails with a given series of codes.
#include "runtime/sharing_retry.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "runtime/platform.hpp"

namespace runtime {
namespace {

// The pauses asked of the sleep primitive, in milliseconds; nothing really sleeps.
std::vector<std::int64_t> gPauses;

struct Case {
  std::string name;
  std::vector<std::uint32_t> answers;  // the fake call's answers, in order; 0 is success
  int expectedRuns;
  std::uint32_t expectedResult;
};

constexpr std::uint32_t kSharing = platform::kErrorSharingViolation;
constexpr std::uint32_t kLock = platform::kErrorLockViolation;
constexpr std::uint32_t kDenied = platform::kErrorAccessDenied;
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kDiskFull = 112;

TEST(SharingRetry, RetriesOnlyPassingErrorsAndAtMostTenTimes) {
  const std::vector<std::uint32_t> alwaysShared(20, kSharing);
  const std::vector<Case> cases = {
      {"success at once", {0}, 1, 0},
      {"a final error at once", {kFileNotFound}, 1, kFileNotFound},
      {"disk full is final", {kDiskFull, 0}, 1, kDiskFull},
      {"a sharing violation that passes", {kSharing, kSharing, 0}, 3, 0},
      {"a lock violation that passes", {kLock, 0}, 2, 0},
      {"access denied that passes", {kDenied, kDenied, kDenied, 0}, 4, 0},
      {"mixed passing errors", {kSharing, kLock, kDenied, 0}, 4, 0},
      {"a passing error, then a final one", {kSharing, kFileNotFound, 0}, 2, kFileNotFound},
      {"success on the last try",
       {kSharing, kSharing, kSharing, kSharing, kSharing, kSharing, kSharing, kSharing, kSharing, 0},
       10,
       0},
      {"a hold that does not pass", alwaysShared, 10, kSharing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gPauses.clear();
    int runs = 0;
    const std::uint32_t result = platform::retryWhileShared([&] {
      const std::uint32_t answer = c.answers.at(static_cast<std::size_t>(runs));
      ++runs;
      return answer;
    });
    EXPECT_EQ(result, c.expectedResult);
    EXPECT_EQ(runs, c.expectedRuns);
    // One pause between two runs, each of the same short length.
    EXPECT_EQ(gPauses, std::vector<std::int64_t>(static_cast<std::size_t>(runs - 1), 25));
  }
}

TEST(SharingRetry, ClassifiesErrorCodes) {
  for (std::uint32_t code = 0; code < 2000; ++code) {
    SCOPED_TRACE(code);
    EXPECT_EQ(platform::isPassingSharingError(code), code == 5 || code == 32 || code == 33);
    // ERROR_INVALID_FUNCTION and ERROR_ACCESS_DENIED from a directory flush mean "not supported".
    EXPECT_EQ(platform::isDirectoryFlushRefusal(code), code == 1 || code == 5);
  }
}

}  // namespace

// This test's own sleep primitive, linked in place of the runtime's: it notes the pause and
// returns at once.
int platform::nanosleepOnce(const struct timespec* request, struct timespec* /*remain*/) {
  gPauses.push_back(static_cast<std::int64_t>(request->tv_sec) * 1000 + request->tv_nsec / 1000000);
  return 0;
}

}  // namespace runtime
