// The runtime error value, its exception's one-line message, and the cancellable sleep with
// its 5 ms slices, its token checks and its resumption after interrupted sleeps.
#include "runtime/runtime_error.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <exception>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "runtime/platform.hpp"

#ifdef _WIN32
#include <pthread_time.h>
#endif

namespace runtime {
namespace {

static_assert(std::is_base_of_v<std::exception, vusk_runtime_exception>);
static_assert(!std::is_base_of_v<std::exception, vusk_task_cancelled>);
static_assert(std::is_empty_v<vusk_task_cancelled>);
static_assert(std::is_copy_constructible_v<RuntimeError> && std::is_move_assignable_v<RuntimeError>);

TEST(RuntimeErrorTest, MakeRuntimeErrorFillsCodeAndMessageOnly) {
  const RuntimeError error = makeRuntimeError("file.read", "unable to open file: x");
  EXPECT_EQ(error.code, "file.read");
  EXPECT_EQ(error.message, "unable to open file: x");
  EXPECT_EQ(error.number, 0);
  EXPECT_EQ(error.provider, "");
  EXPECT_EQ(error.extra, "");
}

TEST(RuntimeErrorTest, WhatIsCodeColonBlankMessage) {
  try {
    throw vusk_runtime_exception(makeRuntimeError("file.read.limit", "maximum byte count must not be negative"));
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "file.read.limit: maximum byte count must not be negative");
    const auto* runtimeException = dynamic_cast<const vusk_runtime_exception*>(&e);
    ASSERT_NE(runtimeException, nullptr);
    EXPECT_EQ(runtimeException->error().code, "file.read.limit");
    EXPECT_EQ(runtimeException->error().message, "maximum byte count must not be negative");
    return;
  }
  FAIL() << "not caught as std::exception";
}

TEST(RuntimeErrorTest, EmptyPartsKeepTheSeparator) {
  EXPECT_STREQ(vusk_runtime_exception(makeRuntimeError("file.read", "")).what(), "file.read: ");
  EXPECT_STREQ(vusk_runtime_exception(makeRuntimeError("", "message")).what(), ": message");
  EXPECT_STREQ(vusk_runtime_exception(makeRuntimeError("", "")).what(), ": ");
}

TEST(RuntimeErrorTest, ProviderIsCarriedButNotPrinted) {
  RuntimeError error = makeRuntimeError("window.canvas", "no window");
  error.provider = "vusk_window_input_canvas";
  const vusk_runtime_exception exception(std::move(error));
  EXPECT_STREQ(exception.what(), "window.canvas: no window");
  EXPECT_EQ(exception.error().provider, "vusk_window_input_canvas");
  // A copy (as a rethrow may make) owns its own line.
  const vusk_runtime_exception copy = exception;  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_STREQ(copy.what(), "window.canvas: no window");
  EXPECT_NE(static_cast<const void*>(copy.what()), static_cast<const void*>(exception.what()));
}

TEST(RuntimeErrorTest, TaskCancelledIsNotAStandardException) {
  bool caughtAsStandard = false;
  bool caughtByName = false;
  try {
    try {
      throw vusk_task_cancelled{};
    } catch (const std::exception&) {
      caughtAsStandard = true;
    }
  } catch (const vusk_task_cancelled&) {
    caughtByName = true;
  }
  EXPECT_FALSE(caughtAsStandard);
  EXPECT_TRUE(caughtByName);
}

// A stand-in for nanosleep that records every request and can fail or be interrupted.
struct SleepRecorder {
  struct Call {
    long nanoseconds;
    bool sameStructure;
  };
  std::vector<Call> calls;
  int interruptAtCall = -1;       // this call returns EINTR after sleeping part of the request
  long interruptedRemainder = 0;  // what the interrupted call reports as left
  int failWithErrno = 0;          // every call fails with this errno (not EINTR) when set
  int cancelAtCall = -1;          // this call sets the installed token's cancelRequested
  CancellationToken* token = nullptr;
};

SleepRecorder* gRecorder = nullptr;

int recordingNanosleep(const struct timespec* request, struct timespec* remain) {
  SleepRecorder& recorder = *gRecorder;
  const int index = static_cast<int>(recorder.calls.size());
  EXPECT_EQ(request->tv_sec, 0);
  recorder.calls.push_back({static_cast<long>(request->tv_nsec), request == remain});
  if (index == recorder.cancelAtCall && recorder.token != nullptr) recorder.token->cancelRequested = true;
  if (index == recorder.interruptAtCall) {
    remain->tv_sec = 0;
    remain->tv_nsec = recorder.interruptedRemainder;
    errno = EINTR;
    return -1;
  }
  if (recorder.failWithErrno != 0) {
    errno = recorder.failWithErrno;
    return -1;
  }
  return 0;
}

class CancellableSleepTest : public ::testing::Test {
 protected:
  void SetUp() override { gRecorder = &recorder; }
  void TearDown() override {
    gRecorder = nullptr;
    currentCancellationToken = nullptr;
  }

  std::vector<long> slices() const {
    std::vector<long> result;
    for (const auto& call : recorder.calls) result.push_back(call.nanoseconds);
    return result;
  }

  SleepRecorder recorder;
};

constexpr long kMs = 1000000;

TEST_F(CancellableSleepTest, SleepsInSlicesOfAtMostFiveMilliseconds) {
  cancellableSleep(16);
  EXPECT_EQ(slices(), (std::vector<long>{5 * kMs, 5 * kMs, 5 * kMs, 1 * kMs}));
  for (const auto& call : recorder.calls) EXPECT_TRUE(call.sameStructure);

  recorder.calls.clear();
  cancellableSleep(5);
  EXPECT_EQ(slices(), (std::vector<long>{5 * kMs}));

  recorder.calls.clear();
  cancellableSleep(3);
  EXPECT_EQ(slices(), (std::vector<long>{3 * kMs}));

  recorder.calls.clear();
  cancellableSleep(10);
  EXPECT_EQ(slices(), (std::vector<long>{5 * kMs, 5 * kMs}));
}

TEST_F(CancellableSleepTest, NothingToSleepForZeroOrLess) {
  CancellationToken token;
  token.cancelRequested = true;
  currentCancellationToken = &token;
  cancellableSleep(0);
  cancellableSleep(-16);
  EXPECT_TRUE(recorder.calls.empty());
  EXPECT_FALSE(token.cancelObserved);
}

TEST_F(CancellableSleepTest, InterruptedSliceResumesForTheReportedRemainder) {
  CancellationToken token;
  currentCancellationToken = &token;
  recorder.token = &token;
  recorder.interruptAtCall = 1;
  recorder.interruptedRemainder = 2 * kMs + 500;
  // The interruption also requests cancellation: the resumed sleep must not look at the token,
  // the check before the next slice must.
  recorder.cancelAtCall = 1;
  EXPECT_THROW(cancellableSleep(16), vusk_task_cancelled);
  EXPECT_EQ(slices(), (std::vector<long>{5 * kMs, 5 * kMs, 2 * kMs + 500}));
  EXPECT_TRUE(recorder.calls[2].sameStructure);
  EXPECT_TRUE(token.cancelObserved);
  EXPECT_TRUE(token.cancelRequested);
}

TEST_F(CancellableSleepTest, InterruptionWithoutCancellationCompletesTheSleep) {
  recorder.interruptAtCall = 3;
  recorder.interruptedRemainder = 400000;
  cancellableSleep(16);
  EXPECT_EQ(slices(), (std::vector<long>{5 * kMs, 5 * kMs, 5 * kMs, 1 * kMs, 400000}));
}

TEST_F(CancellableSleepTest, OtherSleepFailuresCountTheSliceAsSlept) {
  recorder.failWithErrno = EINVAL;
  cancellableSleep(16);
  EXPECT_EQ(slices(), (std::vector<long>{5 * kMs, 5 * kMs, 5 * kMs, 1 * kMs}));
}

TEST_F(CancellableSleepTest, RequestedCancellationThrowsBeforeSleeping) {
  CancellationToken token;
  token.cancelRequested = true;
  currentCancellationToken = &token;
  EXPECT_THROW(cancellableSleep(16), vusk_task_cancelled);
  EXPECT_TRUE(recorder.calls.empty());
  EXPECT_TRUE(token.cancelObserved);
  EXPECT_TRUE(token.cancelRequested);
}

TEST_F(CancellableSleepTest, CancellationDuringASliceTakesEffectAtTheNextBoundary) {
  CancellationToken token;
  currentCancellationToken = &token;
  recorder.token = &token;
  recorder.cancelAtCall = 1;
  EXPECT_THROW(cancellableSleep(16), vusk_task_cancelled);
  EXPECT_EQ(slices(), (std::vector<long>{5 * kMs, 5 * kMs}));
  EXPECT_TRUE(token.cancelObserved);
}

TEST_F(CancellableSleepTest, TokenIsNotReadAfterTheLastSlice) {
  CancellationToken token;
  currentCancellationToken = &token;
  recorder.token = &token;
  recorder.cancelAtCall = 3;
  cancellableSleep(16);
  EXPECT_EQ(recorder.calls.size(), 4u);
  EXPECT_FALSE(token.cancelObserved);
}

TEST_F(CancellableSleepTest, TokenIsPerThread) {
  CancellationToken token;
  token.cancelRequested = true;
  currentCancellationToken = &token;
  CancellationToken* seenOnOtherThread = &token;
  std::thread([&] { seenOnOtherThread = currentCancellationToken; }).join();
  EXPECT_EQ(seenOnOtherThread, nullptr);
}

TEST(CancellableSleepRealTest, SleepsAtLeastTheDurationWithoutAToken) {
  ASSERT_EQ(currentCancellationToken, nullptr);
  const auto start = std::chrono::steady_clock::now();
  cancellableSleep(16);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(16));
}

TEST(CancellableSleepRealTest, CancellationFromAnotherThreadEndsALongSleep) {
  CancellationToken token;
  bool cancelled = false;
  std::thread sleeper([&] {
    currentCancellationToken = &token;
    try {
      cancellableSleep(60000);
    } catch (const vusk_task_cancelled&) {
      cancelled = true;
    }
    currentCancellationToken = nullptr;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  token.cancelRequested = true;
  sleeper.join();
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(token.cancelObserved);
}

}  // namespace

// This test's own sleep primitive, linked in place of the runtime's: the recorder's while a
// sleep test runs, the system's otherwise.
int platform::nanosleepOnce(const struct timespec* request, struct timespec* remain) {
  if (gRecorder != nullptr) return recordingNanosleep(request, remain);
  return ::nanosleep(request, remain);
}

}  // namespace runtime
