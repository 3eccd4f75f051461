#include "recorder/video/gpu_device.h"

#include <iterator>

namespace morl::recorder {

namespace {

constexpr char kCode[] = "start_failed";

}  // namespace

D3D11_TEXTURE2D_DESC BgraTextureDesc(std::int32_t width, std::int32_t height) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = static_cast<UINT>(width);
  desc.Height = static_cast<UINT>(height);
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_RENDER_TARGET;
  return desc;
}

Result<std::unique_ptr<GpuDevice>> GpuDevice::Open(HMONITOR monitor) {
  std::unique_ptr<GpuDevice> gpu(new GpuDevice());
  ComRef<IDXGIAdapter1> adapter;
  MORL_RETURN_IF_ERROR(gpu->FindOutput(monitor, adapter));
  MORL_RETURN_IF_ERROR(gpu->CreateDevice(adapter.Get()));
  MORL_RETURN_IF_ERROR(gpu->ShareWithMediaFoundation());
  return gpu;
}

Status GpuDevice::FindOutputAgain(HMONITOR monitor) {
  const LUID on = adapter_id_;
  ComRef<IDXGIAdapter1> adapter;
  return FindOutput(monitor, adapter, &on);
}

Status GpuDevice::FindOutput(HMONITOR monitor, ComRef<IDXGIAdapter1>& adapter, const LUID* on) {
  ComRef<IDXGIFactory1> factory;
  MORL_RETURN_IF_FAILED(CreateDXGIFactory1(IID_PPV_ARGS(factory.Put())), kCode,
                        "CreateDXGIFactory1");
  // Adapters and their outputs in DXGI's order; the end of either list is
  // DXGI_ERROR_NOT_FOUND.
  for (UINT a = 0; SUCCEEDED(factory->EnumAdapters1(a, adapter.Put())); ++a) {
    DXGI_ADAPTER_DESC1 adapter_desc{};
    MORL_RETURN_IF_FAILED(adapter->GetDesc1(&adapter_desc), kCode, "IDXGIAdapter1::GetDesc1");
    const LUID id = adapter_desc.AdapterLuid;
    if (on != nullptr && (id.LowPart != on->LowPart || id.HighPart != on->HighPart)) continue;
    ComRef<IDXGIOutput> output;
    for (UINT o = 0; SUCCEEDED(adapter->EnumOutputs(o, output.Put())); ++o) {
      DXGI_OUTPUT_DESC desc{};
      if (FAILED(output->GetDesc(&desc)) || desc.Monitor != monitor) continue;
      MORL_RETURN_IF_FAILED(output->QueryInterface(IID_PPV_ARGS(output_.Put())), kCode,
                            "IDXGIOutput1");
      adapter_id_ = id;
      return Status();
    }
  }
  adapter.Reset();
  return CallError(kCode, "EnumOutputs", DXGI_ERROR_NOT_FOUND);
}

Status GpuDevice::CreateDevice(IDXGIAdapter1* adapter) {
  static constexpr D3D_FEATURE_LEVEL kLevels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0,
                                                  D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0};
  // With an adapter given, the driver type must be UNKNOWN. BGRA for the
  // desktop's format; video support for the encoder's use of the device.
  const UINT flags = D3D11_CREATE_DEVICE_BGRA_SUPPORT | D3D11_CREATE_DEVICE_VIDEO_SUPPORT;
  D3D_FEATURE_LEVEL level{};
  HRESULT hr = D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, flags, kLevels,
                                 UINT{std::size(kLevels)}, D3D11_SDK_VERSION, device_.Put(),
                                 &level, context_.Put());
  // Windows 7's runtime does not know 11_1 and refuses the whole list.
  if (hr == E_INVALIDARG) {
    hr = D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, flags, kLevels + 1,
                           UINT{std::size(kLevels) - 1}, D3D11_SDK_VERSION, device_.Put(), &level,
                           context_.Put());
  }
  MORL_RETURN_IF_FAILED(hr, kCode, "D3D11CreateDevice");
  ComRef<ID3D10Multithread> multithread;
  MORL_RETURN_IF_FAILED(device_->QueryInterface(IID_PPV_ARGS(multithread.Put())), kCode,
                        "ID3D10Multithread");
  multithread->SetMultithreadProtected(TRUE);
  return Status();
}

Status GpuDevice::ShareWithMediaFoundation() {
  UINT reset_token = 0;
  MORL_RETURN_IF_FAILED(MFCreateDXGIDeviceManager(&reset_token, manager_.Put()), kCode,
                        "MFCreateDXGIDeviceManager");
  MORL_RETURN_IF_FAILED(manager_->ResetDevice(device_.Get(), reset_token), kCode,
                        "IMFDXGIDeviceManager::ResetDevice");
  return Status();
}

}  // namespace morl::recorder
