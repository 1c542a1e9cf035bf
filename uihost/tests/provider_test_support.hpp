// Shared pieces of the provider tests: a ready provider, the snapshot a refusal must leave
// unchanged, the runner of (state, call, result, event line or diagnostic) tables, and the
// access that places counters at their limit.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "uihost/native_ui_host_provider.hpp"

namespace uihost {

// Reaches the counters no public call can bring to 2147483647 within a test's time.
struct ProviderTestAccess {
  static ProviderCounters& counters(NativeUiHostProvider& p) { return p.counters_; }
  static DisplayTopology& displayTopology(NativeUiHostProvider& p) { return p.displayTopology_; }
};

namespace testing_support {

using P = NativeUiHostProvider;
constexpr std::int32_t kOwner = 7;
constexpr std::int32_t kOther = 8;

inline HostProviderDescriptor fullDescriptor() {
  return HostProviderDescriptor{
      kCapabilitySchema, kContractVersion, "host-a", true, true, true, true, true, true, true};
}
inline HostProviderDescriptor without(bool HostProviderDescriptor::*capability) {
  HostProviderDescriptor descriptor = fullDescriptor();
  descriptor.*capability = false;
  return descriptor;
}

// Initialised at time 1, correlation 1: event line 1 is the "ready" line.
inline void makeReady(P& p) { ASSERT_TRUE(p.initialize(true, false, kOwner, 1, 1)) << p.lastDiagnostic(); }

// Everything but failureCount and lastDiagnostic.
struct Snapshot {
  Text providerState, sessionState;
  ProviderCounters counters;
  AccessibilityState accessibility;
  TextInputState textInput;
  ClipboardEntry clipboard;
  DisplayTopology displayTopology;
  std::vector<Text> eventLog;
  bool operator==(const Snapshot&) const = default;
};
inline Snapshot snapshotOf(const P& p) {
  Snapshot s{p.providerState(), p.sessionState(), p.counters(),        p.accessibility(),
             p.textInput(),     p.clipboard(),    p.displayTopology(), p.eventLog()};
  s.counters.failureCount = 0;
  return s;
}

using State = std::function<void(P&)>;
using Call = std::function<bool(P&)>;

struct Case {
  const char* name;
  State state;  // brings a provider in "new" to the state of the row
  Call call;
  bool accepted;
  // Accepted: the new last event line from "category=" on ("" when the call writes none).
  // Refused: the diagnostic after "host.ui_services "; nothing else may change but the failure count.
  std::string expected;
  HostProviderDescriptor descriptor = fullDescriptor();
};

inline void runCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    P p(c.descriptor, kOwner);
    c.state(p);
    const Snapshot before = snapshotOf(p);
    const std::int32_t failures = p.counters().failureCount;
    EXPECT_EQ(c.call(p), c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(p.lastDiagnostic(), "host.ui_services " + c.expected);
      EXPECT_EQ(p.counters().failureCount, failures + 1);
      EXPECT_TRUE(snapshotOf(p) == before);
    } else {
      EXPECT_EQ(p.counters().failureCount, failures);
      if (c.expected.empty()) {
        EXPECT_EQ(p.eventLog().size(), before.eventLog.size());
      } else {
        ASSERT_GT(p.eventLog().size(), before.eventLog.size());
        const std::string& line = p.eventLog().back();
        EXPECT_EQ(line.substr(std::min(line.find("category="), line.size())), c.expected);
      }
    }
  }
}

}  // namespace testing_support
}  // namespace uihost
