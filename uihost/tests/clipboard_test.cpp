#include <gtest/gtest.h>

#include <string>

#include "provider_test_support.hpp"

namespace uihost {
namespace {

using namespace testing_support;

constexpr const char* kText = "text/plain;charset=utf-8";
constexpr const char* kValue = "application/mivo-value-v1";

void immediate(P& p) {
  makeReady(p);
  ASSERT_TRUE(p.setClipboard("app", kText, "hello", false, true, kOwner, 2, 2));
}
void delayed(P& p) {
  makeReady(p);
  ASSERT_TRUE(p.setClipboard("app", kValue, "", true, true, kOwner, 2, 2));
}
void materialized(P& p) {
  delayed(p);
  ASSERT_TRUE(p.materializeClipboard("app", "{\"v\":1}", true, kOwner, 3, 3));
}
Call set(const char* owner, const char* format, bool isDelayed = false, bool permitted = true) {
  return [=](P& p) { return p.setClipboard(owner, format, "data", isDelayed, permitted, kOwner, 50, 5); };
}
Call materialize(const char* owner, bool permitted = true, std::int32_t thread = kOwner) {
  return [=](P& p) { return p.materializeClipboard(owner, "late", permitted, thread, 50, 5); };
}
// True when the read was not refused; what it returned must be the expected text either way.
Call read(const char* format, const char* expected, bool permitted = true) {
  return [=](P& p) {
    const std::int32_t failures = p.counters().failureCount;
    EXPECT_EQ(p.readClipboard(format, permitted, kOwner, 50, 5), expected);
    return p.counters().failureCount == failures;
  };
}

TEST(Clipboard, SetMaterializeAndReadTable) {
  const std::string badSet = "clipboard-set rejected: permission-format-owner-or-delayed-capability";
  const std::string badMaterialize = "clipboard-materialize rejected: permission-owner-or-not-delayed";
  const std::string badRead = "clipboard-read rejected: permission-format-or-delayed-data";
  runCases({
      {"set", makeReady, set("app", "image/rgba8"), true,
       "category=clipboard; subject=app; state=ownership; detail=format=image/rgba8; delayed=false"},
      {"set over another owner's entry", immediate, set("other", kValue, true), true,
       "category=clipboard; subject=other; state=ownership; detail=format=application/mivo-value-v1; delayed=true"},
      {"set not permitted", immediate, set("app", kText, false, false), false, badSet},
      {"set text without charset", immediate, set("app", "text/plain"), false, badSet},
      {"set format in upper case", immediate, set("app", "TEXT/PLAIN;CHARSET=UTF-8"), false, badSet},
      {"set delayed without capability", immediate, set("app", kValue, true), false, badSet,
       without(&HostProviderDescriptor::supportsDelayedClipboard)},
      {"materialize", delayed, materialize("app"), true,
       "category=clipboard; subject=app; state=materialized; detail=application/mivo-value-v1"},
      {"materialize by another owner", delayed, materialize("other"), false, badMaterialize},
      {"materialize not permitted", delayed, materialize("app", false), false, badMaterialize},
      {"materialize twice", materialized, materialize("app"), false, badMaterialize},
      {"materialize, other thread", delayed, materialize("app", true, kOther), false,
       "clipboard rejected: wrong-thread expected=7 actual=8"},
      {"read", immediate, read(kText, "hello"), true,
       "category=clipboard; subject=app; state=read; detail=" + std::string(kText)},
      {"read another format", immediate, read("image/rgba8", ""), false, badRead},
      {"read not permitted", immediate, read(kText, "", false), false, badRead},
      {"read delayed data", delayed, read(kValue, ""), false, badRead},
      {"read materialized data", materialized, read(kValue, "{\"v\":1}"), true,
       "category=clipboard; subject=app; state=read; detail=application/mivo-value-v1"},
      {"read the empty entry", makeReady, read("", ""), true, "category=clipboard; subject=; state=read; detail="},
      {"no capability", makeReady, read("", ""), false, "clipboard rejected: capability-unavailable-before-effect",
       without(&HostProviderDescriptor::supportsClipboard)},
  });
}

// A host whose platform takes no delayed clipboard data although its descriptor claims it: the
// capability it answers decides, as for every other capability.
class HostWithoutDelayedClipboard : public P {
 public:
  using P::P;
  bool hasCapability(const Text& capability) const override {
    return capability != "delayed-clipboard" && P::hasCapability(capability);
  }
};

TEST(Clipboard, DelayedSetAsksTheHostsCapability) {
  HostWithoutDelayedClipboard host(fullDescriptor(), kOwner);
  makeReady(host);
  EXPECT_FALSE(host.setClipboard("app", kValue, "", true, true, kOwner, 2, 2));
  EXPECT_EQ(host.lastDiagnostic(),
            "host.ui_services clipboard-set rejected: permission-format-owner-or-delayed-capability");
  EXPECT_TRUE(host.setClipboard("app", kValue, "{}", false, true, kOwner, 3, 3));
}

}  // namespace
}  // namespace uihost
