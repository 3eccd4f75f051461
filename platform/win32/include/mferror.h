// Media Foundation HRESULTs, with the values Windows uses.
#pragma once

#include "win32sim/base.h"

constexpr HRESULT MF_E_BUFFERTOOSMALL = static_cast<HRESULT>(0xC00D36B1u);
constexpr HRESULT MF_E_INVALIDREQUEST = static_cast<HRESULT>(0xC00D36B2u);
constexpr HRESULT MF_E_INVALIDSTREAMNUMBER = static_cast<HRESULT>(0xC00D36B3u);
constexpr HRESULT MF_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0xC00D36B4u);
constexpr HRESULT MF_E_NOTACCEPTING = static_cast<HRESULT>(0xC00D36B5u);
constexpr HRESULT MF_E_NOT_INITIALIZED = static_cast<HRESULT>(0xC00D36B6u);
constexpr HRESULT MF_E_NO_MORE_TYPES = static_cast<HRESULT>(0xC00D36B9u);
constexpr HRESULT MF_E_UNSUPPORTED_SERVICE = static_cast<HRESULT>(0xC00D36BAu);
constexpr HRESULT MF_E_INVALIDTYPE = static_cast<HRESULT>(0xC00D36BDu);
constexpr HRESULT MF_E_INVALID_FILE_FORMAT = static_cast<HRESULT>(0xC00D36BEu);
constexpr HRESULT MF_E_INVALIDINDEX = static_cast<HRESULT>(0xC00D36BFu);
constexpr HRESULT MF_E_NO_SAMPLE_TIMESTAMP = static_cast<HRESULT>(0xC00D36C8u);
constexpr HRESULT MF_E_NO_SAMPLE_DURATION = static_cast<HRESULT>(0xC00D36C9u);
constexpr HRESULT MF_E_NOT_FOUND = static_cast<HRESULT>(0xC00D36D5u);
constexpr HRESULT MF_E_BAD_STARTUP_VERSION = static_cast<HRESULT>(0xC00D36E3u);
constexpr HRESULT MF_E_ATTRIBUTENOTFOUND = static_cast<HRESULT>(0xC00D36E6u);
constexpr HRESULT MF_E_HW_MFT_FAILED_START_STREAMING = static_cast<HRESULT>(0xC00D3704u);
constexpr HRESULT MF_E_END_OF_STREAM = static_cast<HRESULT>(0xC00D3E84u);
constexpr HRESULT MF_E_SHUTDOWN = static_cast<HRESULT>(0xC00D3E85u);
constexpr HRESULT MF_E_UNSUPPORTED_FORMAT = static_cast<HRESULT>(0xC00D3E98u);
constexpr HRESULT MF_E_SINK_NO_SAMPLES_PROCESSED = static_cast<HRESULT>(0xC00D4A44u);
constexpr HRESULT MF_E_TOPO_CODEC_NOT_FOUND = static_cast<HRESULT>(0xC00D5212u);
constexpr HRESULT MF_E_NO_CAPTURE_DEVICES_AVAILABLE = static_cast<HRESULT>(0xC00DABE0u);
// The audio capture device a source was reading went away (unplugged,
// disabled or removed).
constexpr HRESULT MF_E_AUDIO_RECORDING_DEVICE_INVALIDATED = static_cast<HRESULT>(0xC00D3EA1u);
// The DXGI device manager's (IMFDXGIDeviceManager).
constexpr HRESULT MF_E_DXGI_DEVICE_NOT_INITIALIZED = static_cast<HRESULT>(0x80041000u);
constexpr HRESULT MF_E_DXGI_NEW_VIDEO_DEVICE = static_cast<HRESULT>(0x80041001u);
constexpr HRESULT MF_E_DXGI_VIDEO_DEVICE_LOCKED = static_cast<HRESULT>(0x80041002u);
