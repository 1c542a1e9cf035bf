// Shared pieces of the provider tests: a ready provider, the snapshot a refusal must leave
// unchanged, the table runner for (state, call, result, event line or diagnostic) rows, and the
// access that places counters at their limit.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "uihost/native_ui_host_provider.hpp"

namespace uihost {

// Reaches the counters no public call can bring to 2147483647 within a test's time.
struct ProviderTestAccess {
  static ProviderCounters& counters(NativeUiHostProvider& provider) { return provider.counters_; }
  static DisplayTopology& displayTopology(NativeUiHostProvider& provider) { return provider.displayTopology_; }
};

namespace testing_support {

constexpr std::int32_t kOwner = 7;
constexpr std::int32_t kOther = 8;

inline HostProviderDescriptor fullDescriptor() {
  return HostProviderDescriptor{
      kCapabilitySchema, kContractVersion, "host-a", true, true, true, true, true, true, true};
}

// Initialised at time 1, correlation 1: event line 1 is the "ready" line.
inline void makeReady(NativeUiHostProvider& provider) {
  ASSERT_TRUE(provider.initialize(true, false, kOwner, 1, 1)) << provider.lastDiagnostic();
}

// Everything but failureCount and lastDiagnostic.
struct Snapshot {
  Text providerState;
  Text sessionState;
  ProviderCounters counters;
  AccessibilityState accessibility;
  TextInputState textInput;
  ClipboardEntry clipboard;
  DisplayTopology displayTopology;
  std::vector<Text> eventLog;

  bool operator==(const Snapshot&) const = default;
};

inline Snapshot snapshotOf(const NativeUiHostProvider& provider) {
  Snapshot snapshot{provider.providerState(),   provider.sessionState(), provider.counters(),
                    provider.accessibility(),   provider.textInput(),    provider.clipboard(),
                    provider.displayTopology(), provider.eventLog()};
  snapshot.counters.failureCount = 0;
  return snapshot;
}

using State = std::function<void(NativeUiHostProvider&)>;
using Call = std::function<bool(NativeUiHostProvider&)>;

struct Case {
  const char* name;
  State state;  // brings a provider in "new" to the state of the row
  Call call;
  bool accepted;
  // Accepted: the last event line afterwards, or "" when the call writes none.
  // Refused: the diagnostic line; the refusal must change nothing else but the failure count.
  std::string expected;
};

inline void runCases(const std::vector<Case>& cases, const HostProviderDescriptor& descriptor = fullDescriptor()) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NativeUiHostProvider provider(descriptor, kOwner);
    c.state(provider);
    const Snapshot before = snapshotOf(provider);
    const std::int32_t failures = provider.counters().failureCount;
    EXPECT_EQ(c.call(provider), c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(provider.lastDiagnostic(), c.expected);
      EXPECT_EQ(provider.counters().failureCount, failures + 1);
      EXPECT_TRUE(snapshotOf(provider) == before);
    } else if (c.expected.empty()) {
      EXPECT_EQ(provider.eventLog().size(), before.eventLog.size());
    } else {
      ASSERT_FALSE(provider.eventLog().empty());
      EXPECT_EQ(provider.eventLog().back(), c.expected);
      EXPECT_EQ(provider.counters().failureCount, failures);
    }
  }
}

}  // namespace testing_support
}  // namespace uihost
