#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provider_test_support.hpp"
#include "uihost/display_record.hpp"

namespace uihost {
namespace {

using namespace testing_support;

TEST(DisplayGeometry, SizesScaleAndWorkAreaComparedInSixtyFourBits) {
  const std::vector<std::pair<DisplayRecord, const char*>> rows = {
      {{"d", 0, 0, 100, 80, 0, 0, 100, 80, 1, true}, "ok"},
      {{"d", -50, 10, 100, 80, -40, 20, 50, 30, 2, false}, "ok"},
      {{"", 0, 0, 100, 80, 0, 0, 100, 80, 1, true}, "invalid-display-geometry"},
      {{"d", 0, 0, 100, 80, 0, 0, 100, 80, 0, true}, "invalid-display-geometry"},
      {{"d", 0, 0, 0, 80, 0, 0, 100, 80, 1, true}, "invalid-display-geometry"},
      {{"d", 0, 0, 100, 80, 0, 0, 100, -1, 1, true}, "invalid-display-geometry"},
      {{"d", 0, 0, 100, 80, 0, 0, 101, 80, 1, true}, "work-area-outside-display"},
      {{"d", 0, 0, 100, 80, 0, 1, 100, 80, 1, true}, "work-area-outside-display"},
      {{"d", 0, 0, 100, 80, -1, 0, 50, 80, 1, true}, "work-area-outside-display"},
      // Edges past 2147483647: a work area far to the right is outside, an interior one near
      // the end of the range is inside.
      {{"d", 0, 0, 100, 80, 2147483000, 0, 1000, 80, 1, true}, "work-area-outside-display"},
      {{"d", 2147483000, 0, 600, 80, 2147483100, 0, 100, 80, 1, true}, "ok"},
      {{"d", 0, 2147483000, 100, 600, 0, 2147483000, 100, 601, 1, true}, "work-area-outside-display"},
  };
  for (const auto& [display, verdict] : rows) {
    EXPECT_EQ(validateDisplayGeometry(display), verdict)
        << display.x << " " << display.workX << " " << display.workHeight;
  }
}

DisplayRecord display(const char* id, bool primary, std::int32_t width = 100) {
  return DisplayRecord{id, 0, 0, width, 80, 0, 0, width, 80, 1, primary};
}
Call publish(const DisplayRecord& record, std::int32_t thread = kOwner) {
  return [=](P& p) { return p.publishDisplay(record, thread); };
}
bool change(P& p) { return p.changeDisplayTopology(kOwner, 50, 5); }
State published(const std::vector<DisplayRecord>& records) {
  return [=](P& p) {
    makeReady(p);
    for (const DisplayRecord& record : records) ASSERT_TRUE(p.publishDisplay(record, kOwner));
  };
}

TEST(Displays, PublishAndTopologyTable) {
  runCases({
      {"publish", makeReady, publish(display("d1", true)), true, ""},
      {"publish empty id", makeReady, publish(display("", true)), false,
       "display-publish rejected: invalid-display-geometry"},
      {"publish work area one wider", makeReady, publish({"d1", 0, 0, 100, 80, 0, 0, 101, 80, 1, true}), false,
       "display-publish rejected: work-area-outside-display"},
      {"publish, other thread", published({display("d1", true)}), publish(display("d1", false), kOther), false,
       "display-topology rejected: wrong-thread expected=7 actual=8"},
      {"change without displays", makeReady, change, false, "display-topology rejected: no-displays"},
      {"change with two primaries", published({display("d1", true), display("d2", true)}), change, false,
       "display-topology rejected: primary-count=2"},
      {"change without primary", published({display("d1", false)}), change, false,
       "display-topology rejected: primary-count=0"},
      {"change", published({display("d1", true), display("d2", false)}), change, true,
       "category=display; subject=topology; state=changed; detail=revision=1; displays=2"},
      {"no capability", makeReady, publish(display("d1", true)), false,
       "display-topology rejected: capability-unavailable-before-effect",
       without(&HostProviderDescriptor::supportsDisplayTopology)},
  });
}

}  // namespace
}  // namespace uihost
