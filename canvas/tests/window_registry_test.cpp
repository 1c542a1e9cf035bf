// The registry's lookups, current-window rules, close order and the "window.canvas" error texts.
#include "canvas/window_registry.hpp"

#include <gtest/gtest.h>

#include <string>

#include "canvas/canvas_errors.hpp"
#include "runtime/runtime_error.hpp"

namespace canvas {
namespace {

// Fake handles: only their identity matters to the registry.
WindowHandle fakeWindow(std::uintptr_t n) { return reinterpret_cast<WindowHandle>(n); }

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WindowRegistry& registry = windowRegistry();
    registry.windows.clear();
    registry.monitors.clear();
    registry.mainId = registry.currentId = 0;
    registry.nextId = 1;
  }
  void TearDown() override { SetUp(); }

  WindowState& add(std::int32_t id, bool open, std::int32_t ownerId = 0) {
    OwnedWindowState state(new WindowState());
    state->id = id;
    state->open = open;
    state->ownerId = ownerId;
    state->window = open ? fakeWindow(0x1000 + id) : nullptr;
    state->deviceContext = open ? reinterpret_cast<DeviceContextHandle>(0x2000 + id) : nullptr;
    state->glContext = open ? reinterpret_cast<GlContextHandle>(0x3000 + id) : nullptr;
    WindowState& ref = *state;
    windowRegistry().windows[id] = std::move(state);
    return ref;
  }
};

TEST_F(RegistryTest, CurrentWindowFallsBackToTheOpenMainWindow) {
  EXPECT_EQ(currentWindow(), nullptr);
  add(1, true);
  add(2, false);
  windowRegistry().mainId = 1;
  windowRegistry().currentId = 2;
  EXPECT_EQ(currentWindow(), findWindow(1));
  EXPECT_EQ(windowRegistry().currentId, 1);
}

TEST_F(RegistryTest, CurrentWindowIsNullAndUnchangedWhenNothingIsOpen) {
  add(1, false);
  windowRegistry().mainId = 1;
  windowRegistry().currentId = 7;
  EXPECT_EQ(currentWindow(), nullptr);
  EXPECT_EQ(windowRegistry().currentId, 7);
  EXPECT_EQ(findWindow(99), nullptr);
  EXPECT_EQ(windowRegistry().windows.size(), 1u);  // lookups insert nothing
}

TEST_F(RegistryTest, ClosingTheCurrentWindowMakesTheMainWindowCurrent) {
  add(1, true);
  WindowState& second = add(2, true);
  windowRegistry().mainId = 1;
  windowRegistry().currentId = 2;
  second.open = false;
  EXPECT_EQ(chooseCurrentAfterClose(2), findWindow(1));
  EXPECT_EQ(windowRegistry().currentId, 1);
}

TEST_F(RegistryTest, ClosingTheLastWindowLeavesNoCurrentWindow) {
  WindowState& only = add(1, true);
  windowRegistry().mainId = windowRegistry().currentId = 1;
  only.open = false;
  EXPECT_EQ(chooseCurrentAfterClose(1), nullptr);
  EXPECT_EQ(windowRegistry().currentId, 0);
  EXPECT_EQ(windowRegistry().mainId, 1);  // the caller resets the main id
}

TEST_F(RegistryTest, AChosenWindowWithoutGlContextIsNotMadeCurrent) {
  WindowState& main = add(1, true);
  main.glContext = nullptr;
  windowRegistry().mainId = 1;
  EXPECT_EQ(chooseCurrentAfterClose(5), nullptr);
  EXPECT_EQ(windowRegistry().currentId, 0);
}

TEST_F(RegistryTest, OwnedWindowsAreClosedInIdOrderAndIdZeroOwnsNothing) {
  add(1, true);
  add(4, true, 1);
  add(3, true, 1);
  add(2, true, 0);
  add(5, false, 1);  // already destroyed: no handle
  EXPECT_EQ(ownedWindowIdsToClose(1), (std::vector<std::int32_t>{3, 4}));
  EXPECT_TRUE(ownedWindowIdsToClose(0).empty());
  EXPECT_TRUE(ownedWindowIdsToClose(-1).empty());
  EXPECT_EQ(collectWindowIds(), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
}

TEST_F(RegistryTest, StampingHandsOutRisingSequencesAndKeepsCodeZeroOut) {
  WindowState& w = add(1, true);
  const std::uint64_t first = windowRegistry().inputSequence;
  stampInputEvent(w, 100);
  EXPECT_EQ(w.lastSequence, first);
  EXPECT_EQ(w.eventSequence, first);
  EXPECT_EQ(w.keySequence, first);
  EXPECT_EQ(w.lastEventCode, 100u);
  stampInputEvent(w, 0);
  EXPECT_EQ(w.lastSequence, first + 1);
  EXPECT_EQ(w.lastEventCode, 100u);
}

TEST_F(RegistryTest, MonitorNumbersFollowFirstSight) {
  auto a = reinterpret_cast<MonitorHandle>(0x10);
  auto b = reinterpret_cast<MonitorHandle>(0x20);
  EXPECT_EQ(monitorNumberFor(nullptr), 0u);
  EXPECT_EQ(monitorNumberFor(b), 1u);
  EXPECT_EQ(monitorNumberFor(a), 2u);
  EXPECT_EQ(monitorNumberFor(b), 1u);
  EXPECT_EQ(windowRegistry().monitors.size(), 2u);
}

TEST(CanvasCapabilityTest, UnavailableCapabilityThrowsTheWindowCanvasError) {
  EXPECT_NO_THROW(requireCanvasCapability(true, "unused"));
  try {
    requireCanvasCapability(false, std::string(kWindowNotOpenFor) + "BeginFrame");
    FAIL() << "no exception";
  } catch (const runtime::vusk_runtime_exception& e) {
    EXPECT_STREQ(e.what(), "window.canvas: window/canvas runtime window is not open for BeginFrame");
    EXPECT_EQ(e.error().code, "window.canvas");
    EXPECT_EQ(e.error().provider, "vusk_window_input_canvas");
    EXPECT_EQ(e.error().number, 0);
  }
}

}  // namespace
}  // namespace canvas
