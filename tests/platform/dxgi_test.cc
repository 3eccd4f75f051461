// DXGI on the simulated machine: the "gpu" key, adapters and outputs that
// follow the displays, IsCurrent after a display change, and that every
// object handed out is counted and released.
#include <dxgi.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_gpu.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/platform/gpu_test_support.h"
#include "tests/support/machine_test.h"

namespace {

class DxgiTest : public machine_test::MachineTest {};

using gpu_test::ComRef;

void MakeFactory(ComRef<IDXGIFactory1>* factory) {
  ASSERT_EQ(CreateDXGIFactory1(IID_IDXGIFactory1, factory->PutVoid()), S_OK);
}

std::wstring AdapterName(IDXGIFactory1* factory, UINT index) {
  ComRef<IDXGIAdapter1> adapter;
  if (factory->EnumAdapters1(index, adapter.Put()) != S_OK) return L"<none>";
  DXGI_ADAPTER_DESC1 desc{};
  EXPECT_EQ(adapter->GetDesc1(&desc), S_OK);
  return desc.Description;
}

// Adapter `index`'s outputs, as their descriptions.
std::vector<DXGI_OUTPUT_DESC> OutputsOf(IDXGIFactory1* factory, UINT index) {
  std::vector<DXGI_OUTPUT_DESC> outputs;
  ComRef<IDXGIAdapter1> adapter;
  if (factory->EnumAdapters1(index, adapter.Put()) != S_OK) return outputs;
  for (UINT i = 0;; ++i) {
    ComRef<IDXGIOutput> output;
    const HRESULT hr = adapter->EnumOutputs(i, output.Put());
    if (hr == DXGI_ERROR_NOT_FOUND) break;
    EXPECT_EQ(hr, S_OK);
    if (hr != S_OK) break;
    outputs.emplace_back();
    EXPECT_EQ(output->GetDesc(&outputs.back()), S_OK);
  }
  return outputs;
}

std::string Describe(const std::vector<DXGI_OUTPUT_DESC>& outputs) {
  std::string text;
  for (const DXGI_OUTPUT_DESC& d : outputs) {
    const RECT& r = d.DesktopCoordinates;
    for (const WCHAR* c = d.DeviceName; c != std::end(d.DeviceName) && *c != L'\0'; ++c) {
      text += static_cast<char>(*c);
    }
    text += " " + std::to_string(r.left) + "," + std::to_string(r.top) + "-" +
            std::to_string(r.right) + "," + std::to_string(r.bottom) +
            (d.AttachedToDesktop == TRUE ? "" : " detached") +
            (d.Rotation == DXGI_MODE_ROTATION_IDENTITY ? "" : " rotated") + ";";
  }
  return text;
}

// Each output's monitor is the display it describes, as GetMonitorInfoW has it.
void ExpectMonitorsAgree(const std::vector<DXGI_OUTPUT_DESC>& outputs) {
  for (const DXGI_OUTPUT_DESC& d : outputs) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoW(d.Monitor, &info));
    EXPECT_EQ(std::wstring(info.szDevice), std::wstring(d.DeviceName));
    EXPECT_EQ(info.rcMonitor.left, d.DesktopCoordinates.left);
    EXPECT_EQ(info.rcMonitor.bottom, d.DesktopCoordinates.bottom);
  }
}

// The key's accepted forms: absent (the default GPU), members over the
// default, and null (no hardware GPU).
TEST_F(DxgiTest, GpuKeySetsTheMachinesGpu) {
  const struct {
    const char* json;
    bool has_gpu;
    const wchar_t* name;
    std::vector<std::string> encoders;
    int max_width, max_height;
  } cases[] = {
      {R"({})", true, L"Simulated GPU", {"h264"}, 4096, 2304},
      {R"({"gpu": {}})", true, L"Simulated GPU", {"h264"}, 4096, 2304},
      {R"({"gpu": {"name": "Caf\u00e9 RTX", "encoders": [], "max_width": 1920,
                   "max_height": 1088}})",
       true,
       L"Caf\u00e9 RTX",
       {},
       1920,
       1088},
      {R"({"gpu": {"encoders": ["h264"], "max_width": 16384, "max_height": 2}})",
       true,
       L"Simulated GPU",
       {"h264"},
       16384,
       2},
      {R"({"gpu": null})", false, L"", {}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    winsim::ResetMachine();
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(c.json, &error)) << error;
    const std::optional<winsim::Gpu> gpu = winsim::MachineGpu();
    ASSERT_EQ(gpu.has_value(), c.has_gpu);
    if (!c.has_gpu) continue;
    EXPECT_EQ(gpu->name, c.name);
    EXPECT_EQ(gpu->encoders, c.encoders);
    EXPECT_EQ(gpu->max_width, c.max_width);
    EXPECT_EQ(gpu->max_height, c.max_height);
  }
}

TEST_F(DxgiTest, GpuKeyRefusesBadValuesNamingThem) {
  const struct {
    const char* json;
    const char* mentions;
  } cases[] = {
      {R"({"gpu": true})", "object or null"},
      {R"({"gpu": []})", "object or null"},
      {R"({"gpu": {"nmae": "x"}})", "nmae"},
      {R"({"gpu": {"name": 7}})", "name"},
      {R"({"gpu": {"name": ""}})", "name"},
      {R"({"gpu": {"name": "\u0000"}})", "name"},
      {R"({"gpu": {"encoders": "h264"}})", "encoders"},
      {R"({"gpu": {"encoders": ["vp9"]}})", "encoders"},
      {R"({"gpu": {"encoders": [264]}})", "encoders"},
      {R"({"gpu": {"max_width": 1}})", "max_width"},
      {R"({"gpu": {"max_height": 16385}})", "max_height"},
      {R"({"gpu": {"max_width": 1920.5}})", "max_width"},
      {R"({"gpu": {"video_processor": 1}})", "video_processor"},
      {R"({"timeline": [{"at_ms": 1, "patch": {"gpu": null}}]})", "gpu"},
  };
  const std::string long_name(128, 'x');
  const std::string too_long = R"({"gpu": {"name": ")" + long_name + "\"}}";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    std::string error;
    EXPECT_FALSE(winsim::LoadMachineJson(c.json, &error));
    EXPECT_NE(error.find("\"gpu\""), std::string::npos) << error;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(winsim::LoadMachineJson(too_long, &error));
  EXPECT_NE(error.find("127"), std::string::npos) << error;
  EXPECT_FALSE(winsim::ApplyMachinePatch(R"({"gpu": null})", &error));
  EXPECT_TRUE(winsim::MachineGpu().has_value());
}

// Adapter 0 holds one output per display, the primary first, each matching
// its monitor; the basic render driver comes last, holding the outputs when
// it is the only adapter.
TEST_F(DxgiTest, AdapterZeroListsTheDisplaysPrimaryFirst) {
  const struct {
    const char* json;
    const wchar_t* adapter0;
    const char* outputs;
  } cases[] = {
      {R"({})", L"Simulated GPU", "\\\\.\\DISPLAY1 0,0-1920,1080;"},
      {R"({"gpu": {"name": "Card"}, "displays": [
           {"left": -1280, "top": 100, "width": 1280, "height": 1024, "name": "\\\\.\\DISPLAY7"},
           {"left": 0, "top": 0, "width": 2560, "height": 1440, "primary": true}]})",
       L"Card", "\\\\.\\DISPLAY2 0,0-2560,1440;\\\\.\\DISPLAY7 -1280,100-0,1124;"},
      {R"({"gpu": null, "displays": [{"left": 0, "top": 0, "width": 800, "height": 600},
                                     {"left": 800, "top": 0, "width": 640, "height": 480}]})",
       L"Microsoft Basic Render Driver",
       "\\\\.\\DISPLAY1 0,0-800,600;\\\\.\\DISPLAY2 800,0-1440,480;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    winsim::ResetMachine();
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(c.json, &error)) << error;
    ComRef<IDXGIFactory1> factory;
    MakeFactory(&factory);
    EXPECT_EQ(AdapterName(factory.Get(), 0), c.adapter0);
    const std::vector<DXGI_OUTPUT_DESC> outputs = OutputsOf(factory.Get(), 0);
    EXPECT_EQ(Describe(outputs), c.outputs);
    ExpectMonitorsAgree(outputs);

    // The basic render driver is last: alone, it holds the outputs.
    const UINT last = winsim::MachineGpu().has_value() ? 1 : 0;
    ComRef<IDXGIAdapter1> past;
    EXPECT_EQ(factory->EnumAdapters1(last + 1, past.Put()), DXGI_ERROR_NOT_FOUND);
    ComRef<IDXGIAdapter1> render;
    ASSERT_EQ(factory->EnumAdapters1(last, render.Put()), S_OK);
    DXGI_ADAPTER_DESC1 desc{};
    ASSERT_EQ(render->GetDesc1(&desc), S_OK);
    EXPECT_EQ(std::wstring(desc.Description), L"Microsoft Basic Render Driver");
    EXPECT_EQ(desc.Flags, static_cast<UINT>(DXGI_ADAPTER_FLAG_SOFTWARE));
    EXPECT_EQ(desc.VendorId, 0x1414u);
    if (last == 1) {
      EXPECT_TRUE(OutputsOf(factory.Get(), 1).empty());
    }
    DXGI_ADAPTER_DESC plain{};
    ASSERT_EQ(render->GetDesc(&plain), S_OK);
    EXPECT_EQ(std::wstring(plain.Description), L"Microsoft Basic Render Driver");
    EXPECT_EQ(plain.AdapterLuid.LowPart, desc.AdapterLuid.LowPart);
  }
}

// The documented refusals: past-the-end indices and null out pointers.
TEST_F(DxgiTest, RefusesIndicesPastTheEndAndNullOutPointers) {
  ComRef<IDXGIFactory1> factory;
  MakeFactory(&factory);
  ComRef<IDXGIAdapter1> adapter;
  EXPECT_EQ(factory->EnumAdapters1(2, adapter.Put()), DXGI_ERROR_NOT_FOUND);
  EXPECT_EQ(adapter.Get(), nullptr);
  EXPECT_EQ(factory->EnumAdapters1(0, nullptr), DXGI_ERROR_INVALID_CALL);
  ComRef<IDXGIAdapter> plain;
  EXPECT_EQ(factory->EnumAdapters(2, plain.Put()), DXGI_ERROR_NOT_FOUND);
  EXPECT_EQ(factory->EnumAdapters(0, nullptr), DXGI_ERROR_INVALID_CALL);
  ASSERT_EQ(factory->EnumAdapters1(0, adapter.Put()), S_OK);
  ComRef<IDXGIOutput> output;
  EXPECT_EQ(adapter->EnumOutputs(1, output.Put()), DXGI_ERROR_NOT_FOUND);
  EXPECT_EQ(output.Get(), nullptr);
  EXPECT_EQ(adapter->EnumOutputs(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(adapter->GetDesc1(nullptr), E_INVALIDARG);
  EXPECT_EQ(adapter->GetDesc(nullptr), E_INVALIDARG);
  ASSERT_EQ(adapter->EnumOutputs(0, output.Put()), S_OK);
  EXPECT_EQ(output->GetDesc(nullptr), DXGI_ERROR_INVALID_CALL);
  ComRef<IDXGIFactory> wrong;
  EXPECT_EQ(CreateDXGIFactory1(IID_IDXGIOutput, wrong.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(wrong.Get(), nullptr);
}

// After the displays change, a factory made before is no longer current but
// keeps its view (outputs of a display gone keep describing it); a new
// factory lists the new displays. Setting the same displays again is no change.
TEST_F(DxgiTest, DisplayChangeMakesOldFactoriesStale) {
  std::string error;
  const char* two = R"({"displays": [{"left": 0, "top": 0, "width": 1920, "height": 1080},
                                    {"left": 1920, "top": 0, "width": 1280, "height": 720}]})";
  ASSERT_TRUE(winsim::LoadMachineJson(two, &error)) << error;
  ComRef<IDXGIFactory1> before;
  MakeFactory(&before);
  ComRef<IDXGIAdapter1> adapter;
  ASSERT_EQ(before->EnumAdapters1(0, adapter.Put()), S_OK);
  ComRef<IDXGIOutput> second;
  ASSERT_EQ(adapter->EnumOutputs(1, second.Put()), S_OK);

  ASSERT_TRUE(winsim::ApplyMachinePatch(two, &error)) << error;
  EXPECT_TRUE(before->IsCurrent());
  ASSERT_TRUE(winsim::ApplyMachinePatch(
      R"({"displays": [{"left": 0, "top": 0, "width": 2560, "height": 1440}]})", &error))
      << error;
  EXPECT_FALSE(before->IsCurrent());

  DXGI_OUTPUT_DESC gone{};
  ASSERT_EQ(second->GetDesc(&gone), S_OK);
  EXPECT_EQ(Describe({gone}), "\\\\.\\DISPLAY2 1920,0-3200,720;");
  EXPECT_EQ(OutputsOf(before.Get(), 0).size(), 2u);

  ComRef<IDXGIFactory1> after;
  MakeFactory(&after);
  EXPECT_TRUE(after->IsCurrent());
  EXPECT_EQ(Describe(OutputsOf(after.Get(), 0)), "\\\\.\\DISPLAY1 0,0-2560,1440;");
  ASSERT_TRUE(winsim::ApplyMachinePatch(R"({"screen": {"width": 1024, "height": 768}})", &error))
      << error;
  EXPECT_FALSE(after->IsCurrent());
}

// Each object is counted while a reference to it is held; an adapter keeps
// its factory and an output its adapter, as their GetParent shows.
TEST_F(DxgiTest, CountsEveryObjectAndKeepsParentsAlive) {
  ComRef<IDXGIOutput> output;
  {
    ComRef<IDXGIFactory1> factory;
    MakeFactory(&factory);
    ComRef<IDXGIAdapter1> adapter;
    ASSERT_EQ(factory->EnumAdapters1(0, adapter.Put()), S_OK);
    ASSERT_EQ(adapter->EnumOutputs(0, output.Put()), S_OK);
    auto live = winsim::LiveObjects();
    EXPECT_EQ(live["com:IDXGIFactory1"], 1);
    EXPECT_EQ(live["com:IDXGIAdapter1"], 1);
    EXPECT_EQ(live["com:IDXGIOutput"], 1);
  }
  auto live = winsim::LiveObjects();
  EXPECT_EQ(live["com:IDXGIFactory1"], 1);
  EXPECT_EQ(live["com:IDXGIAdapter1"], 1);
  ComRef<IDXGIAdapter> parent;
  ASSERT_EQ(output->GetParent(IID_IDXGIAdapter, parent.PutVoid()), S_OK);
  ComRef<IDXGIFactory1> grandparent;
  ASSERT_EQ(parent->GetParent(IID_IDXGIFactory1, grandparent.PutVoid()), S_OK);
  EXPECT_TRUE(grandparent->IsCurrent());
  ComRef<IDXGIObject> object;
  EXPECT_EQ(output->QueryInterface(IID_IDXGIObject, object.PutVoid()), S_OK);
}

// Every failable call fails with the injected HRESULT and hands nothing out.
TEST_F(DxgiTest, InjectedFailuresHandNothingOut) {
  const HRESULT hr = static_cast<HRESULT>(0x887A0005u);  // DXGI_ERROR_DEVICE_REMOVED
  ComRef<IDXGIFactory1> factory;
  winsim::FailCall("CreateDXGIFactory1", hr);
  EXPECT_EQ(CreateDXGIFactory1(IID_IDXGIFactory1, factory.PutVoid()), hr);
  EXPECT_EQ(factory.Get(), nullptr);
  MakeFactory(&factory);
  ComRef<IDXGIAdapter1> adapter;
  winsim::FailCall("IDXGIFactory1::EnumAdapters1", hr);
  EXPECT_EQ(factory->EnumAdapters1(0, adapter.Put()), hr);
  ASSERT_EQ(factory->EnumAdapters1(0, adapter.Put()), S_OK);
  ComRef<IDXGIAdapter> plain;
  winsim::FailCall("IDXGIFactory::EnumAdapters", hr);
  EXPECT_EQ(factory->EnumAdapters(0, plain.Put()), hr);
  ComRef<IDXGIOutput> output;
  winsim::FailCall("IDXGIAdapter::EnumOutputs", hr);
  EXPECT_EQ(adapter->EnumOutputs(0, output.Put()), hr);
  ASSERT_EQ(adapter->EnumOutputs(0, output.Put()), S_OK);
  DXGI_OUTPUT_DESC desc{};
  winsim::FailCall("IDXGIOutput::GetDesc", hr);
  EXPECT_EQ(output->GetDesc(&desc), hr);
  DXGI_ADAPTER_DESC1 desc1{};
  winsim::FailCall("IDXGIAdapter1::GetDesc1", hr);
  EXPECT_EQ(adapter->GetDesc1(&desc1), hr);
  DXGI_ADAPTER_DESC desc0{};
  winsim::FailCall("IDXGIAdapter::GetDesc", hr);
  EXPECT_EQ(adapter->GetDesc(&desc0), hr);
  EXPECT_EQ(plain.Get(), nullptr);
}

}  // namespace
