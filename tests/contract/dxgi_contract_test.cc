// DXGI's view of the displays, which desktop duplication will start from:
// adapter 0's outputs are the desktop's monitors as GetMonitorInfoW describes
// them, the primary's output first; enumeration ends with
// DXGI_ERROR_NOT_FOUND, and EnumAdapters1 refuses a null out pointer with
// DXGI_ERROR_INVALID_CALL ("IDXGIFactory1::EnumAdapters1",
// "IDXGIAdapter::EnumOutputs", "DXGI_OUTPUT_DESC").
#include <windows.h>
#include <dxgi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "contract_support.h"
#include "wine_differences.h"

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  reinterpret_cast<std::vector<HMONITOR>*>(data)->push_back(monitor);
  return TRUE;
}

// The outputs of `adapter`, checked one by one against GetMonitorInfoW.
// Gives the monitors they belong to and whether the first is the primary's.
std::vector<HMONITOR> CheckOutputs(IDXGIAdapter1* adapter, bool* primary_first) {
  std::vector<HMONITOR> monitors;
  for (UINT i = 0;; ++i) {
    contract::ComRef<IDXGIOutput> output;
    const HRESULT hr = adapter->EnumOutputs(i, output.Put());
    if (hr == DXGI_ERROR_NOT_FOUND) {
      EXPECT_EQ(output.Get(), nullptr);
      break;
    }
    EXPECT_EQ(hr, S_OK);
    if (hr != S_OK) break;
    DXGI_OUTPUT_DESC desc{};
    EXPECT_EQ(output->GetDesc(&desc), S_OK);
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetMonitorInfoW(desc.Monitor, &info)) << "output " << i;
    EXPECT_EQ(std::wstring(desc.DeviceName), std::wstring(info.szDevice)) << "output " << i;
    EXPECT_EQ(desc.DesktopCoordinates.left, info.rcMonitor.left) << "output " << i;
    EXPECT_EQ(desc.DesktopCoordinates.top, info.rcMonitor.top) << "output " << i;
    EXPECT_EQ(desc.DesktopCoordinates.right, info.rcMonitor.right) << "output " << i;
    EXPECT_EQ(desc.DesktopCoordinates.bottom, info.rcMonitor.bottom) << "output " << i;
    EXPECT_TRUE(desc.AttachedToDesktop) << "output " << i;
    if (i == 0) *primary_first = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    monitors.push_back(desc.Monitor);
  }
  // "IDXGIAdapter::EnumOutputs" names no code for a null out pointer (unlike
  // EnumAdapters1); it must fail.
  EXPECT_TRUE(FAILED(adapter->EnumOutputs(0, nullptr)));
  return monitors;
}

TEST(Dxgi, AdapterZerosOutputsMatchTheMonitors) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  contract::ComRef<IDXGIFactory1> factory;
  ASSERT_EQ(CreateDXGIFactory1(IID_PPV_ARGS(factory.Put())), S_OK);
  EXPECT_TRUE(factory->IsCurrent());
  EXPECT_EQ(factory->EnumAdapters1(0, nullptr), DXGI_ERROR_INVALID_CALL);

  std::vector<HMONITOR> on_adapter0;
  std::vector<HMONITOR> on_any;
  bool primary_first = false;
  UINT adapters = 0;
  for (;; ++adapters) {
    contract::ComRef<IDXGIAdapter1> adapter;
    const HRESULT hr = factory->EnumAdapters1(adapters, adapter.Put());
    if (hr == DXGI_ERROR_NOT_FOUND) {
      EXPECT_EQ(adapter.Get(), nullptr);
      break;
    }
    ASSERT_EQ(hr, S_OK);
    bool first_is_primary = false;
    const std::vector<HMONITOR> outputs = CheckOutputs(adapter.Get(), &first_is_primary);
    if (adapters == 0) {
      on_adapter0 = outputs;
      primary_first = first_is_primary;
    }
    on_any.insert(on_any.end(), outputs.begin(), outputs.end());
  }
  ASSERT_GE(adapters, 1u);
  contract::ComRef<IDXGIAdapter1> past;
  EXPECT_EQ(factory->EnumAdapters1(adapters + 7, past.Put()), DXGI_ERROR_NOT_FOUND);

  // The primary's output is adapter 0's first, and every monitor of the
  // desktop is an output of some adapter.
  EXPECT_TRUE(primary_first);
  const HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  EXPECT_NE(std::find(on_adapter0.begin(), on_adapter0.end(), primary), on_adapter0.end());
  std::vector<HMONITOR> monitors;
  ASSERT_TRUE(
      EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitors)));
  for (HMONITOR monitor : monitors) {
    EXPECT_NE(std::find(on_any.begin(), on_any.end(), monitor), on_any.end());
  }
}

}  // namespace
