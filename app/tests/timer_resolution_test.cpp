// The 1 ms timer resolution the directory window holds while it runs.
#include "app/timer_resolution.hpp"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(TimerResolution, TheSystemGrantsItAndEachHolderGivesItsOwnBack) {
  const TimerResolution outer;
  EXPECT_TRUE(outer.raised());
  {
    const TimerResolution inner;  // requests are counted by the system: a second one is granted too
    EXPECT_TRUE(inner.raised());
  }
  EXPECT_TRUE(outer.raised());
}

}  // namespace
}  // namespace app
