// Answering WM_GETOBJECT for windows with a registered accessibility provider, loading UI
// Automation and OLE Automation on the first such request only.
#include "canvas/uia_bridge.hpp"
#include "canvas/win32_canvas.hpp"

namespace canvas {
namespace {

void* resolve(HMODULE module, const char* name) {
  return module != nullptr ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

void loadUiaLibraries(UiaBridgeState& s) {
  s.loaded = true;
  HMODULE uia = LoadLibraryA("UIAutomationCore.dll");
  HMODULE oleAut = LoadLibraryA("OleAut32.dll");
  s.uiaModule = uia;
  s.oleAutModule = oleAut;
  s.returnRawElementProvider = resolve(uia, "UiaReturnRawElementProvider");
  s.hostProviderFromHwnd = resolve(uia, "UiaHostProviderFromHwnd");
  s.sysAllocString = resolve(oleAut, "SysAllocString");
  s.sysFreeString = resolve(oleAut, "SysFreeString");
  s.safeArrayCreateVector = resolve(oleAut, "SafeArrayCreateVector");
  s.safeArrayAccessData = resolve(oleAut, "SafeArrayAccessData");
  s.safeArrayUnaccessData = resolve(oleAut, "SafeArrayUnaccessData");
  s.raiseAutomationEvent = resolve(uia, "UiaRaiseAutomationEvent");
  s.raiseAutomationPropertyChangedEvent = resolve(uia, "UiaRaiseAutomationPropertyChangedEvent");
  s.raiseStructureChangedEvent = resolve(uia, "UiaRaiseStructureChangedEvent");
}

}  // namespace

LRESULT handleGetObject(HWND window, WPARAM wParam, LPARAM lParam) {
  UiaBridgeState& s = uiaState();
  const WindowState* state = findWindowByHandle(window);
  const std::int32_t id = state != nullptr ? state->id : 0;
  ++s.requestCount;
  // The object id is a 32-bit LONG; its upper half is not part of it.
  const auto objectId = static_cast<std::int32_t>(static_cast<std::uint32_t>(lParam));
  if (uiaRequestHasProvider(s, id, window, objectId)) {
    s.served = 1;
    if (!s.loaded) loadUiaLibraries(s);
    if (s.returnRawElementProvider != nullptr) {
      using ReturnProvider = LRESULT(WINAPI*)(HWND, WPARAM, LPARAM, void*);
      auto returnProvider = reinterpret_cast<ReturnProvider>(s.returnRawElementProvider);
      s.lastProviderResult =
          returnProvider(window, wParam, lParam, &s.windowSlots[static_cast<std::size_t>(id - 1)].providerVtable);
      return s.lastProviderResult;
    }
  }
  return DefWindowProcW(window, WM_GETOBJECT, wParam, lParam);
}

void forgetUiaWindowOnDestroy(HWND window) {
  const WindowState* state = findWindowByHandle(window);
  if (state != nullptr) forgetUiaWindow(uiaState(), state->id);
}

}  // namespace canvas
