// Audio endpoint devices: the enumerator that lists the render (playback)
// and capture endpoints or finds the default one or one by id, the list it
// hands out, and the endpoint itself (id, properties, activation of an
// audio client).
#pragma once

#include "propsys.h"
#include "win32sim/base.h"
#include "win32sim/co_create.h"
#include "win32sim/com.h"

enum EDataFlow { eRender = 0, eCapture = 1, eAll = 2, EDataFlow_enum_count = 3 };
enum ERole { eConsole = 0, eMultimedia = 1, eCommunications = 2, ERole_enum_count = 3 };

#define DEVICE_STATE_ACTIVE 0x00000001
#define DEVICE_STATE_DISABLED 0x00000002
#define DEVICE_STATE_NOTPRESENT 0x00000004
#define DEVICE_STATE_UNPLUGGED 0x00000008
#define DEVICE_STATEMASK_ALL 0x0000000f

MORL_DEFINE_GUID(CLSID_MMDeviceEnumerator, 0xbcde0395, 0xe52f, 0x467c, 0x8e, 0x3d, 0xc4, 0x57, 0x92,
                 0x91, 0x69, 0x2e);
MORL_DEFINE_GUID(IID_IMMDeviceEnumerator, 0xa95664d2, 0x9614, 0x4f35, 0xa7, 0x46, 0xde, 0x8d, 0xb6,
                 0x36, 0x17, 0xe6);
MORL_DEFINE_GUID(IID_IMMDeviceCollection, 0x0bd7a1be, 0x7a1a, 0x44db, 0x83, 0x97, 0xcc, 0x53, 0x92,
                 0x38, 0x7b, 0x5e);
MORL_DEFINE_GUID(IID_IMMDevice, 0xd666063f, 0x1587, 0x4e43, 0x81, 0xf1, 0xb9, 0x48, 0xe8, 0x07,
                 0x36, 0x3f);

struct IMMDevice : IUnknown {
  virtual HRESULT Activate(REFIID iid, DWORD cls_context, PROPVARIANT* activation_params,
                           void** object) = 0;
  virtual HRESULT OpenPropertyStore(DWORD access, IPropertyStore** properties) = 0;
  virtual HRESULT GetId(LPWSTR* id) = 0;
  virtual HRESULT GetState(DWORD* state) = 0;

 protected:
  ~IMMDevice() = default;
};
MORL_INTERFACE_ID(IMMDevice, IID_IMMDevice);

struct IMMDeviceCollection : IUnknown {
  virtual HRESULT GetCount(UINT* count) = 0;
  virtual HRESULT Item(UINT index, IMMDevice** device) = 0;

 protected:
  ~IMMDeviceCollection() = default;
};
MORL_INTERFACE_ID(IMMDeviceCollection, IID_IMMDeviceCollection);

MORL_DEFINE_GUID(IID_IMMNotificationClient, 0x7991eec9, 0x7e89, 0x4d85, 0x83, 0x90, 0x6c, 0x70,
                 0x3c, 0xec, 0x60, 0xc0);

// Implemented by the application; the system calls it on a thread of its own
// when endpoints are added, removed, change state or become the default.
struct IMMNotificationClient : IUnknown {
  virtual HRESULT OnDeviceStateChanged(LPCWSTR device_id, DWORD new_state) = 0;
  virtual HRESULT OnDeviceAdded(LPCWSTR device_id) = 0;
  virtual HRESULT OnDeviceRemoved(LPCWSTR device_id) = 0;
  virtual HRESULT OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR default_device_id) = 0;
  virtual HRESULT OnPropertyValueChanged(LPCWSTR device_id, const PROPERTYKEY key) = 0;

 protected:
  ~IMMNotificationClient() = default;
};
MORL_INTERFACE_ID(IMMNotificationClient, IID_IMMNotificationClient);

struct IMMDeviceEnumerator : IUnknown {
  virtual HRESULT EnumAudioEndpoints(EDataFlow flow, DWORD state_mask,
                                     IMMDeviceCollection** devices) = 0;
  virtual HRESULT GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** endpoint) = 0;
  virtual HRESULT GetDevice(LPCWSTR id, IMMDevice** device) = 0;
  virtual HRESULT RegisterEndpointNotificationCallback(IMMNotificationClient* client) = 0;
  virtual HRESULT UnregisterEndpointNotificationCallback(IMMNotificationClient* client) = 0;

 protected:
  ~IMMDeviceEnumerator() = default;
};
MORL_INTERFACE_ID(IMMDeviceEnumerator, IID_IMMDeviceEnumerator);
