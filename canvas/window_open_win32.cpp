// Opening a runtime window: class registration, the strict sRGB pixel-format probe, the OpenGL
// context, bitmap fonts, dark frame colours and the registry entry; plus closing it again and the
// open-window check every drawing and query operation goes through.

#include <algorithm>
#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "canvas/canvas.hpp"
#include "canvas/key_input.hpp"
#include "canvas/win32_canvas.hpp"
#include "canvas/window_frame.hpp"
#include "canvas/window_registry.hpp"
#include "runtime/utf16.hpp"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace canvas {
namespace {

// wglGetProcAddress answers some failures with small integers instead of null.
bool isMissingProc(PROC proc) {
  const auto value = reinterpret_cast<std::intptr_t>(proc);
  return value == 0 || value == 1 || value == 2 || value == 3 || value == -1;
}

constexpr int kStrictSrgbAttributes[] = {WGL_DRAW_TO_WINDOW_ARB,
                                         1,
                                         WGL_SUPPORT_OPENGL_ARB,
                                         1,
                                         WGL_DOUBLE_BUFFER_ARB,
                                         1,
                                         WGL_PIXEL_TYPE_ARB,
                                         WGL_TYPE_RGBA_ARB,
                                         WGL_COLOR_BITS_ARB,
                                         24,
                                         WGL_RED_BITS_ARB,
                                         8,
                                         WGL_GREEN_BITS_ARB,
                                         8,
                                         WGL_BLUE_BITS_ARB,
                                         8,
                                         WGL_ALPHA_BITS_ARB,
                                         8,
                                         WGL_DEPTH_BITS_ARB,
                                         24,
                                         WGL_STENCIL_BITS_ARB,
                                         8,
                                         WGL_FRAMEBUFFER_SRGB_CAPABLE_ARB,
                                         1,
                                         0,
                                         0};

PIXELFORMATDESCRIPTOR pixelFormatDescriptor(BYTE colorBits) {
  PIXELFORMATDESCRIPTOR pfd{};
  pfd.nSize = sizeof(PIXELFORMATDESCRIPTOR);
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = colorBits;
  pfd.cAlphaBits = 8;
  pfd.cDepthBits = 24;
  pfd.cStencilBits = 8;
  return pfd;
}

// Finds the strict sRGB format for `target` through a temporary 1 x 1 window whose legacy context
// gives access to wglChoosePixelFormatARB. 0 when there is none; the caller's contexts are restored.
int probeStrictSrgbFormat(HDC target) {
  const HDC previousDc = wglGetCurrentDC();
  const HGLRC previousContext = wglGetCurrentContext();
  int format = 0;
  HWND probe = CreateWindowExW(0, kWindowClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  HDC probeDc = probe != nullptr ? GetDC(probe) : nullptr;
  HGLRC probeContext = nullptr;
  bool probeCurrent = false;
  if (probeDc != nullptr) {
    PIXELFORMATDESCRIPTOR pfd = pixelFormatDescriptor(24);
    const int probeFormat = ChoosePixelFormat(probeDc, &pfd);
    if (probeFormat != 0 && SetPixelFormat(probeDc, probeFormat, &pfd) == TRUE) {
      probeContext = wglCreateContext(probeDc);
      probeCurrent = probeContext != nullptr && wglMakeCurrent(probeDc, probeContext) == TRUE;
    }
    if (probeCurrent) {
      PROC proc = lookUpWglExtension("wglChoosePixelFormatARB");
      if (!isMissingProc(proc)) {
        auto choose = reinterpret_cast<PFNWGLCHOOSEPIXELFORMATARBPROC>(reinterpret_cast<void*>(proc));
        int chosen = 0;
        UINT count = 0;
        if (choose(target, kStrictSrgbAttributes, nullptr, 1, &chosen, &count) == TRUE && count >= 1 && chosen > 0 &&
            isStrictSrgbPixelFormat(target, chosen)) {
          format = chosen;
        }
      }
    }
  }
  if (probeCurrent) wglMakeCurrent(nullptr, nullptr);
  if (probeContext != nullptr) wglDeleteContext(probeContext);
  if (probeDc != nullptr) ReleaseDC(probe, probeDc);
  if (probe != nullptr) DestroyWindow(probe);
  bool restored = false;
  if (previousDc != nullptr && previousContext != nullptr) {
    restored = wglMakeCurrent(previousDc, previousContext) == TRUE;
  } else {
    restored = previousDc == nullptr && previousContext == nullptr;
  }
  return restored ? format : 0;
}

// GL_FRAMEBUFFER_SRGB is enabled and an sRGB texture is really stored as one.
bool enableAndVerifySrgbFramebuffer() {
  glEnable(GL_FRAMEBUFFER_SRGB);
  if (glIsEnabled(GL_FRAMEBUFFER_SRGB) != GL_TRUE) {
    glDisable(GL_FRAMEBUFFER_SRGB);
    return false;
  }
  GLuint texture = 0;
  glGenTextures(1, &texture);
  GLint internalFormat = 0;
  if (texture != 0) {
    const unsigned char pixel[4] = {0x80, 0x80, 0x80, 0xFF};
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SRGB8_ALPHA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internalFormat);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
  }
  if (internalFormat == GL_SRGB8_ALPHA8) return true;
  glDisable(GL_FRAMEBUFFER_SRGB);
  return false;
}

void applyDarkFrameColours(HWND window) {
  HMODULE dwm = LoadLibraryA("dwmapi.dll");
  if (dwm == nullptr) return;
  using SetAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
  auto set = reinterpret_cast<SetAttribute>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmSetWindowAttribute")));
  if (set != nullptr) {
    const DWORD values[][2] = {{20, 1}, {19, 1}, {35, 0x00181412}, {34, 0x00362F2B}, {36, 0x00E2E8E8}};
    for (const auto& v : values) set(window, v[0], &v[1], sizeof(DWORD));
  }
  FreeLibrary(dwm);
}

}  // namespace

void registerWindowClasses() {
  static std::atomic<bool> registered{false};
  if (registered.exchange(true)) return;
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const HINSTANCE module = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  windowClass.style = CS_OWNDC;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = module;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = CreateSolidBrush(RGB(10, 11, 13));
  windowClass.lpszClassName = kWindowClassName;
  RegisterClassW(&windowClass);
  WNDCLASSW translucentClass{};
  translucentClass.lpfnWndProc = windowProc;
  translucentClass.hInstance = module;
  translucentClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  translucentClass.lpszClassName = kTranslucentWindowClassName;
  RegisterClassW(&translucentClass);
}

bool isStrictSrgbPixelFormat(HDC deviceContext, std::int32_t format) {
  if (deviceContext == nullptr || format < 1) return false;
  PROC proc = wglGetProcAddress("wglGetPixelFormatAttribivARB");
  if (isMissingProc(proc)) return false;
  auto query = reinterpret_cast<PFNWGLGETPIXELFORMATATTRIBIVARBPROC>(reinterpret_cast<void*>(proc));
  int attributes[12];
  for (std::size_t i = 0; i < 12; ++i) attributes[i] = kStrictSrgbAttributes[i * 2];
  int values[12] = {};
  if (query(deviceContext, format, 0, 12, attributes, values) != TRUE) return false;
  if (values[0] == 0 || values[1] == 0 || values[2] == 0) return false;
  if (values[3] != WGL_TYPE_RGBA_ARB || values[4] < 24) return false;
  if (values[5] < 8 || values[6] < 8 || values[7] < 8 || values[8] < 8) return false;
  if (values[9] < 24 || values[10] < 8) return false;
  return values[11] != 0;
}

HFONT createUiFont(std::int32_t pixelHeight, std::int32_t weight) {
  return CreateFontA(-pixelHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Segoe UI");
}

namespace {

// The advances of the selected font's printable glyphs as their display lists move the raster
// position: the cell advance of each glyph's monochrome bitmap, which the lists are made of. The
// character widths (GetCharWidth32A) and the outline metrics are hinted otherwise and were seen
// off by up to 2 pixels, which would add up along a measured text. A glyph without bitmap metrics
// keeps its character width.
void readGlyphAdvances(HDC deviceContext, GlyphAdvances& advances) {
  if (GetCharWidth32A(deviceContext, kFirstPrintable, kLastPrintable, advances.data()) == 0) advances.fill(0);
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  for (std::size_t i = 0; i < advances.size(); ++i) {
    GLYPHMETRICS metrics{};
    const auto character = static_cast<UINT>(static_cast<unsigned char>(kFirstPrintable) + i);
    if (GetGlyphOutlineA(deviceContext, character, GGO_BITMAP, &metrics, 0, nullptr, &identity) != GDI_ERROR) {
      advances[i] = metrics.gmCellIncX;
    }
  }
}

// A glyph without ink may be compiled without its advance (seen under wine), which would run
// the words of a text together. The blank's list is therefore made again from the blank's
// recorded advance: a raster move and nothing drawn.
void rebuildBlankGlyph(GLuint blankList, std::int32_t advance) {
  if (advance <= 0) return;
  // One pixel whose bit is clear: nothing is drawn, and the raster position moves on. (Some
  // drivers drop the move of a bitmap with no pixels at all.)
  static const GLubyte kClearBit = 0;
  glNewList(blankList, GL_COMPILE);
  glBitmap(1, 1, 0.0f, 0.0f, static_cast<GLfloat>(advance), 0.0f, &kClearBit);
  glEndList();
}

}  // namespace

void buildFontDisplayLists(HDC deviceContext, FontSlot& slot) {
  slot.listBase = 0;
  slot.advances.fill(0);
  if (slot.font == nullptr) return;
  const GLuint base = glGenLists(96);
  if (base == 0) return;
  HGDIOBJ previous = SelectObject(deviceContext, slot.font);
  if (previous == nullptr || previous == HGDI_ERROR) {
    glDeleteLists(base, 96);
    return;
  }
  const BOOL built = wglUseFontBitmapsA(deviceContext, 32, 96, base);
  if (built == TRUE) {
    readGlyphAdvances(deviceContext, slot.advances);
    rebuildBlankGlyph(base, slot.advances[0]);
  }
  SelectObject(deviceContext, previous);
  if (built != TRUE) {
    glDeleteLists(base, 96);
    return;
  }
  slot.listBase = base;
}

void deleteGdiObject(HFONT& object) {
  if (object != nullptr) DeleteObject(object);
  object = nullptr;
}

void updateWindowDpi(WindowState& window) {
  if (window.window == nullptr) return;
  const UINT dpi = GetDpiForWindow(window.window);
  if (dpi != 0) window.dpiPercent = dpiPercentFor(dpi);
  window.monitorNumber = monitorNumberFor(MonitorFromWindow(window.window, MONITOR_DEFAULTTONEAREST));
}

bool makeContextCurrent(HDC deviceContext, HGLRC glContext) {
  if (wglGetCurrentContext() == glContext && wglGetCurrentDC() == deviceContext) return true;
  return wglMakeCurrent(deviceContext, glContext) == TRUE;
}

namespace {

// The window with the frame that gives it a client area of the size asked for, or null.
HWND createFramedWindow(const runtime::Text& title, std::int64_t clientWidth, std::int64_t clientHeight) {
  RECT frame{0, 0, static_cast<LONG>(clientWidth), static_cast<LONG>(clientHeight)};
  AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_APPWINDOW);
  const std::wstring wideTitle = runtime::utf8ToUtf16(title);
  return CreateWindowExW(WS_EX_APPWINDOW, kWindowClassName, wideTitle.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// A window's current GL context and what its pixel format turned out to be.
struct GlSetup {
  HGLRC context = nullptr;
  bool strictSrgb = false;
  bool srgbFramebuffer = false;
};

// Sets the window's pixel format (the strict sRGB one when the driver has it, else a plain 32-bit
// one) and makes a GL context on it current. When any step fails, the window is destroyed and the
// failure thrown.
GlSetup setUpGlContext(HWND window, HDC deviceContext) {
  const auto failWith = [&](std::string_view message, HGLRC context) {
    if (context != nullptr) wglDeleteContext(context);
    ReleaseDC(window, deviceContext);
    DestroyWindow(window);
    requireCanvasCapability(false, message);
  };

  const int strictFormat = probeStrictSrgbFormat(deviceContext);
  PIXELFORMATDESCRIPTOR pfd = pixelFormatDescriptor(32);
  int format = strictFormat;
  if (strictFormat != 0) {
    if (DescribePixelFormat(deviceContext, strictFormat, sizeof(PIXELFORMATDESCRIPTOR), &pfd) == 0) {
      failWith(kFailedToDescribeSrgbFormat, nullptr);
    }
  } else {
    format = ChoosePixelFormat(deviceContext, &pfd);
  }
  if (format == 0 || SetPixelFormat(deviceContext, format, &pfd) != TRUE) {
    failWith(kFailedToConfigurePixelFormat, nullptr);
  }
  GlSetup gl;
  gl.context = wglCreateContext(deviceContext);
  if (gl.context == nullptr || wglMakeCurrent(deviceContext, gl.context) != TRUE) {
    failWith(kFailedToActivateContext, gl.context);
  }
  if (strictFormat != 0) {
    gl.strictSrgb =
        GetPixelFormat(deviceContext) == strictFormat && isStrictSrgbPixelFormat(deviceContext, strictFormat);
    if (gl.strictSrgb) gl.srgbFramebuffer = enableAndVerifySrgbFramebuffer();
  }
  return gl;
}

// Records a newly opened window (with its fonts) in the registry as the main and current window.
WindowState& addOpenedWindow(WindowRegistry& registry, HWND window, HDC deviceContext, const GlSetup& gl,
                             std::int64_t clientWidth, std::int64_t clientHeight) {
  OwnedWindowState state(new WindowState());
  state->id = registry.nextId++;
  state->window = window;
  state->deviceContext = deviceContext;
  state->glContext = gl.context;
  state->strictSrgbFormat = gl.strictSrgb;
  state->srgbFramebuffer = gl.srgbFramebuffer;
  for (int slot = 0; slot < kFontSlotCount; ++slot) {
    state->fonts[slot].font = createUiFont(kFontSlotPixelHeights[slot], kFontSlotWeights[slot]);
    buildFontDisplayLists(deviceContext, state->fonts[slot]);
  }
  state->open = true;
  state->visible = true;
  state->captionButtons = true;
  state->customFrame = true;
  state->width = static_cast<std::int32_t>(clientWidth);
  state->height = static_cast<std::int32_t>(clientHeight);
  updateWindowDpi(*state);
  const std::int32_t id = state->id;
  WindowState& stored = *state;
  registry.windows[id] = std::move(state);
  registry.mainId = id;
  registry.currentId = id;
  return stored;
}

}  // namespace

void openWindow(const runtime::Text& title, std::int64_t width, std::int64_t height) {
  WindowRegistry& registry = windowRegistry();
  if (WindowState* main = findWindow(registry.mainId); main != nullptr && main->open) {
    registry.currentId = registry.mainId;
    makeContextCurrent(main->deviceContext, main->glContext);
    return;
  }
  if (registry.nextId > kMaxWindows) return;
  registerWindowClasses();

  // Sizes beyond what a window rectangle can hold are cut down before they overflow its LONGs.
  constexpr std::int64_t kLargestClient = 0x3FFFFFFF;
  const std::int64_t clientWidth = std::clamp<std::int64_t>(width, 1, kLargestClient);
  const std::int64_t clientHeight = std::clamp<std::int64_t>(height, 1, kLargestClient);
  HWND window = createFramedWindow(title, clientWidth, clientHeight);
  requireCanvasCapability(window != nullptr, kFailedToCreateWindow);
  DragAcceptFiles(window, TRUE);
  HDC deviceContext = GetDC(window);
  if (deviceContext == nullptr) {
    DestroyWindow(window);
    requireCanvasCapability(false, kFailedToAcquireDeviceContext);
  }
  const GlSetup gl = setUpGlContext(window, deviceContext);

  RegisterTouchWindow(window, 0);
  WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
  applyDarkFrameColours(window);

  WindowState& stored = addOpenedWindow(registry, window, deviceContext, gl, clientWidth, clientHeight);
  stampInputEvent(stored, 0);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  pumpMessages();
}

WindowState& requireOpenWindow(std::string_view operation) {
  pumpMessages();
  WindowState* window = currentWindow();
  const bool usable = window != nullptr && window->open && window->window != nullptr &&
                      window->deviceContext != nullptr && window->glContext != nullptr;
  if (!usable) requireCanvasCapability(false, std::string(kWindowNotOpenFor) + std::string(operation));
  makeContextCurrent(window->deviceContext, window->glContext);
  return *window;
}

namespace {

void releaseLayeredBuffers(WindowState& w, CanvasResourceCounters& counters) {
  if (w.layeredDc != nullptr && w.previousBitmap != nullptr) {
    SelectObject(w.layeredDc, w.previousBitmap);
    w.previousBitmap = nullptr;
  }
  if (w.layeredBitmap != nullptr) {
    DeleteObject(w.layeredBitmap);
    --counters.liveLayeredDibs;
    counters.layeredDibBytes -= w.layeredBytes;
    w.layeredBitmap = nullptr;
  }
  if (w.layeredDc != nullptr) {
    DeleteDC(w.layeredDc);
    w.layeredDc = nullptr;
  }
  w.layeredPresented = false;
  w.layeredBits = nullptr;
  w.layeredWidth = w.layeredHeight = 0;
  w.layeredBytes = 0;
}

// Forgets the textures of a cache (deleting them when the window's own context is current) and
// takes them off the live count.
template <typename Entry>
void releaseTextureCache(std::vector<Entry>& cache, bool ownContext, std::uint64_t& liveTextures) {
  for (Entry& entry : cache) {
    if (entry.texture == 0) continue;
    if (ownContext) glDeleteTextures(1, &entry.texture);
    --liveTextures;
    entry.texture = 0;
  }
  cache.clear();
}

void releaseGlResources(WindowState& w, CanvasResourceCounters& counters) {
  // GL names are per context: unless this window's context is current (it cannot be once its
  // window was destroyed elsewhere), deleting them would hit another window's textures and
  // glyph lists. Deleting the context below frees its own objects anyway.
  const bool ownContext = wglMakeCurrent(w.deviceContext, w.glContext) == TRUE;
  releaseTextureCache(w.textureCacheA, ownContext, counters.liveTexturesA);
  w.textureCacheAHits = w.textureCacheAMisses = 0;
  releaseTextureCache(w.textureCacheB, ownContext, counters.liveTexturesB);
  w.textureCacheBHits = w.textureCacheBMisses = 0;
  if (w.singleTexture != 0) {
    if (ownContext) glDeleteTextures(1, &w.singleTexture);
    --counters.liveSingleTextures;
    w.singleTexture = 0;
  }
  w.singleTextureWidth = w.singleTextureHeight = 0;
  for (FontSlot& slot : w.fonts) {
    if (slot.listBase != 0 && ownContext) glDeleteLists(slot.listBase, 96);
    slot.listBase = 0;
  }
  for (FontSlot& slot : w.fonts) deleteGdiObject(slot.font);
  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(w.glContext);
  w.glContext = nullptr;
}

}  // namespace

void destroyWindowResources(WindowState& w) {
  releasePointerCapture(w.window);
  clearKeyPresses(w);
  w.open = w.visible = w.focused = w.minimized = w.closeRequested = false;
  stampInputEvent(w, 0);

  CanvasResourceCounters& counters = canvasResourceCounters();
  releaseLayeredBuffers(w, counters);
  if (w.glContext != nullptr) releaseGlResources(w, counters);
  if (w.deviceContext != nullptr && w.window != nullptr) {
    ReleaseDC(w.window, w.deviceContext);
    w.deviceContext = nullptr;
  }
  if (w.window != nullptr) {
    DestroyWindow(w.window);  // WM_DESTROY runs inside
    w.window = nullptr;
  }
  w.width = 0;
  w.height = 0;
}

void closeWindow(std::int32_t id) {
  for (std::int32_t owned : ownedWindowIdsToClose(id)) {
    if (WindowState* w = findWindow(owned); w != nullptr) destroyWindowResources(*w);
  }
  if (WindowState* w = findWindow(id); w != nullptr) destroyWindowResources(*w);
  WindowState* chosen = chooseCurrentAfterClose(id);
  if (chosen != nullptr) {
    makeContextCurrent(chosen->deviceContext, chosen->glContext);
  } else {
    wglMakeCurrent(nullptr, nullptr);
  }
  pumpMessages();
}

void closeAllWindows() {
  for (const std::int32_t id : collectWindowIds()) closeWindow(id);
  WindowRegistry& registry = windowRegistry();
  registry.mainId = 0;
  registry.currentId = 0;
}

}  // namespace canvas
