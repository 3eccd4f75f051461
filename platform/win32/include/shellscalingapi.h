// Per-monitor DPI query of the simulated machine; the DPI of each monitor is
// set through winsim_windows.h.
#pragma once

#include <windows.h>

enum MONITOR_DPI_TYPE {
  MDT_EFFECTIVE_DPI = 0,
  MDT_ANGULAR_DPI = 1,
  MDT_RAW_DPI = 2,
  MDT_DEFAULT = 0
};

HRESULT GetDpiForMonitor(HMONITOR monitor, MONITOR_DPI_TYPE type, UINT* dpi_x, UINT* dpi_y);
