// The UI Automation bridge's process-wide state: per-window provider slots (window ids 1..16),
// nodes, the lazily loaded UIAutomationCore and OleAut32 entry points and request counters. The
// decisions (which request a provider answers, what a window's destruction forgets) are portable;
// loading the libraries and answering are in uia_bridge_win32.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "canvas/window_handles.hpp"

namespace canvas {

inline constexpr std::int64_t kUiaRootObjectId = -25;

struct UiaElementRecord {
  // The embedded provider object: a COM object is its interface-table pointer, so the address of this
  // field is the IRawElementProviderSimple handed to UiaReturnRawElementProvider.
  void* providerVtable = nullptr;
  std::int32_t ownerWindowId = 0;
  WindowHandle window = nullptr;
  std::uint8_t registered = 0;
  std::uint8_t secondFlag = 0;
  std::uint64_t firstValue = 0;
  std::uint64_t secondValue = 0;
  std::array<std::u16string, 4> texts;
};

struct UiaBridgeState {
  bool loaded = false;  // set before loading, so loading is tried once
  void* uiaModule = nullptr;
  void* oleAutModule = nullptr;
  void* returnRawElementProvider = nullptr;
  void* hostProviderFromHwnd = nullptr;
  void* sysAllocString = nullptr;
  void* sysFreeString = nullptr;
  void* safeArrayCreateVector = nullptr;
  void* safeArrayAccessData = nullptr;
  void* safeArrayUnaccessData = nullptr;
  void* raiseAutomationEvent = nullptr;
  void* raiseAutomationPropertyChangedEvent = nullptr;
  void* raiseStructureChangedEvent = nullptr;
  std::array<UiaElementRecord, 16> windowSlots;
  std::array<UiaElementRecord, 256> nodes;
  std::uint64_t requestCount = 0;
  std::int64_t lastProviderResult = 0;
  std::uint64_t served = 0;
};

UiaBridgeState& uiaState();

// Whether a WM_GETOBJECT for `window` (runtime id `windowId`, 0 when unknown) with object id
// `objectId` goes to the window's registered provider.
bool uiaRequestHasProvider(const UiaBridgeState& state, std::int32_t windowId, WindowHandle window,
                           std::int64_t objectId);

// What the bridge forgets when window `windowId` is destroyed.
void forgetUiaWindow(UiaBridgeState& state, std::int32_t windowId);

}  // namespace canvas
