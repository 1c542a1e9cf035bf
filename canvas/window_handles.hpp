// Opaque Win32 handle types for the portable canvas headers. They are the very types windows.h
// declares (its STRICT handles are pointers to these incomplete structs), so window records can be
// built, read and tested on any platform without including windows.h.
#pragma once

// The names are windows.h's own, reserved as they are, and must stay exactly these.
// NOLINTBEGIN(bugprone-reserved-identifier)
struct HWND__;
struct HDC__;
struct HGLRC__;
struct HFONT__;
struct HBITMAP__;
struct HMONITOR__;
// NOLINTEND(bugprone-reserved-identifier)

namespace canvas {

using WindowHandle = ::HWND__*;        // HWND
using DeviceContextHandle = ::HDC__*;  // HDC
using GlContextHandle = ::HGLRC__*;    // HGLRC
using FontHandle = ::HFONT__*;         // HFONT
using BitmapHandle = ::HBITMAP__*;     // HBITMAP
using GdiObjectHandle = void*;         // HGDIOBJ
using MonitorHandle = ::HMONITOR__*;   // HMONITOR

}  // namespace canvas
