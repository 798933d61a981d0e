#pragma once
#include <windows.h>

#include "framework/dpi.h"

// Messages of Windows 8.1 and 10 that the headers give only to programs built
// for those versions; the programs also run on Windows 7.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif

namespace fw {

// The DPI the window is shown at: its monitor's where the system tracks it per
// window (Windows 10 1607 and later), else the system's, which is what a
// system-aware program is drawn at.
int WindowDpi(HWND hwnd);

// A system metric (SM_CXICON and the like) at the given DPI.
int SystemMetricForDpi(int index, int dpi);

}  // namespace fw
