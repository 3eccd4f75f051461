// Direct3D 11's video interfaces, declared by <d3d11.h> as in the SDK: the
// video device and video context a Direct3D 11 device and its immediate
// context answer for, the video processor with its enumerator, and its input
// and output views. Every method is declared, in the SDK's order; what the
// simulation does with each, and the rules it keeps, are described in
// platform/win32/src/d3d11/d3d11_video.h. The decoder, crypto-session and
// authenticated-channel interfaces and their structures are only named:
// their methods answer E_NOTIMPL or do nothing.
#pragma once

// Included by <d3d11.h> after ID3D11DeviceChild, ID3D11View, ID3D11Resource
// and ID3D11Texture2D.

enum D3D11_VIDEO_FRAME_FORMAT {
  D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE = 0,
  D3D11_VIDEO_FRAME_FORMAT_INTERLACED_TOP_FIELD_FIRST = 1,
  D3D11_VIDEO_FRAME_FORMAT_INTERLACED_BOTTOM_FIELD_FIRST = 2,
};

enum D3D11_VIDEO_USAGE {
  D3D11_VIDEO_USAGE_PLAYBACK_NORMAL = 0,
  D3D11_VIDEO_USAGE_OPTIMAL_SPEED = 1,
  D3D11_VIDEO_USAGE_OPTIMAL_QUALITY = 2,
};

enum D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT {
  D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_INPUT = 0x1,
  D3D11_VIDEO_PROCESSOR_FORMAT_SUPPORT_OUTPUT = 0x2,
};

enum D3D11_VIDEO_PROCESSOR_DEVICE_CAPS {
  D3D11_VIDEO_PROCESSOR_DEVICE_CAPS_LINEAR_SPACE = 0x1,
  D3D11_VIDEO_PROCESSOR_DEVICE_CAPS_xvYCC = 0x2,
  D3D11_VIDEO_PROCESSOR_DEVICE_CAPS_RGB_RANGE_CONVERSION = 0x4,
  D3D11_VIDEO_PROCESSOR_DEVICE_CAPS_YCbCr_MATRIX_CONVERSION = 0x8,
  D3D11_VIDEO_PROCESSOR_DEVICE_CAPS_NOMINAL_RANGE = 0x10,
};

enum D3D11_VIDEO_PROCESSOR_FEATURE_CAPS {
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_ALPHA_FILL = 0x1,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_CONSTRICTION = 0x2,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_LUMA_KEY = 0x4,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_ALPHA_PALETTE = 0x8,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_LEGACY = 0x10,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_STEREO = 0x20,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_ROTATION = 0x40,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_ALPHA_STREAM = 0x80,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_PIXEL_ASPECT_RATIO = 0x100,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_MIRROR = 0x200,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_SHADER_USAGE = 0x400,
  D3D11_VIDEO_PROCESSOR_FEATURE_CAPS_METADATA_HDR10 = 0x800,
};

enum D3D11_VIDEO_PROCESSOR_FILTER_CAPS {
  D3D11_VIDEO_PROCESSOR_FILTER_CAPS_BRIGHTNESS = 0x1,
  D3D11_VIDEO_PROCESSOR_FILTER_CAPS_CONTRAST = 0x2,
  D3D11_VIDEO_PROCESSOR_FILTER_CAPS_HUE = 0x4,
  D3D11_VIDEO_PROCESSOR_FILTER_CAPS_SATURATION = 0x8,
  D3D11_VIDEO_PROCESSOR_FILTER_CAPS_NOISE_REDUCTION = 0x10,
  D3D11_VIDEO_PROCESSOR_FILTER_CAPS_EDGE_ENHANCEMENT = 0x20,
  D3D11_VIDEO_PROCESSOR_FILTER_CAPS_ANAMORPHIC_SCALING = 0x40,
  D3D11_VIDEO_PROCESSOR_FILTER_CAPS_STEREO_ADJUSTMENT = 0x80,
};

enum D3D11_VIDEO_PROCESSOR_FORMAT_CAPS {
  D3D11_VIDEO_PROCESSOR_FORMAT_CAPS_RGB_INTERLACED = 0x1,
  D3D11_VIDEO_PROCESSOR_FORMAT_CAPS_RGB_PROCAMP = 0x2,
  D3D11_VIDEO_PROCESSOR_FORMAT_CAPS_RGB_LUMA_KEY = 0x4,
  D3D11_VIDEO_PROCESSOR_FORMAT_CAPS_PALETTE_INTERLACED = 0x8,
};

enum D3D11_VIDEO_PROCESSOR_AUTO_STREAM_CAPS {
  D3D11_VIDEO_PROCESSOR_AUTO_STREAM_CAPS_DENOISE = 0x1,
  D3D11_VIDEO_PROCESSOR_AUTO_STREAM_CAPS_DERINGING = 0x2,
  D3D11_VIDEO_PROCESSOR_AUTO_STREAM_CAPS_EDGE_ENHANCEMENT = 0x4,
  D3D11_VIDEO_PROCESSOR_AUTO_STREAM_CAPS_COLOR_CORRECTION = 0x8,
  D3D11_VIDEO_PROCESSOR_AUTO_STREAM_CAPS_FLESH_TONE_MAPPING = 0x10,
  D3D11_VIDEO_PROCESSOR_AUTO_STREAM_CAPS_IMAGE_STABILIZATION = 0x20,
  D3D11_VIDEO_PROCESSOR_AUTO_STREAM_CAPS_SUPER_RESOLUTION = 0x40,
  D3D11_VIDEO_PROCESSOR_AUTO_STREAM_CAPS_ANAMORPHIC_SCALING = 0x80,
};

enum D3D11_VIDEO_PROCESSOR_STEREO_CAPS {
  D3D11_VIDEO_PROCESSOR_STEREO_CAPS_MONO_OFFSET = 0x1,
  D3D11_VIDEO_PROCESSOR_STEREO_CAPS_ROW_INTERLEAVED = 0x2,
  D3D11_VIDEO_PROCESSOR_STEREO_CAPS_COLUMN_INTERLEAVED = 0x4,
  D3D11_VIDEO_PROCESSOR_STEREO_CAPS_CHECKERBOARD = 0x8,
  D3D11_VIDEO_PROCESSOR_STEREO_CAPS_FLIP_MODE = 0x10,
};

enum D3D11_VIDEO_PROCESSOR_PROCESSOR_CAPS {
  D3D11_VIDEO_PROCESSOR_PROCESSOR_CAPS_DEINTERLACE_BLEND = 0x1,
  D3D11_VIDEO_PROCESSOR_PROCESSOR_CAPS_DEINTERLACE_BOB = 0x2,
  D3D11_VIDEO_PROCESSOR_PROCESSOR_CAPS_DEINTERLACE_ADAPTIVE = 0x4,
  D3D11_VIDEO_PROCESSOR_PROCESSOR_CAPS_DEINTERLACE_MOTION_COMPENSATION = 0x8,
  D3D11_VIDEO_PROCESSOR_PROCESSOR_CAPS_INVERSE_TELECINE = 0x10,
  D3D11_VIDEO_PROCESSOR_PROCESSOR_CAPS_FRAME_RATE_CONVERSION = 0x20,
};

enum D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS {
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_32 = 0x1,
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_22 = 0x2,
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_2224 = 0x4,
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_2332 = 0x8,
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_32322 = 0x10,
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_55 = 0x20,
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_64 = 0x40,
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_87 = 0x80,
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_222222222223 = 0x100,
  D3D11_VIDEO_PROCESSOR_ITELECINE_CAPS_OTHER = static_cast<int>(0x80000000u),
};

enum D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE {
  D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE_UNDEFINED = 0x0,
  D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE_16_235 = 0x1,
  D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE_0_255 = 0x2,
};

enum D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE {
  D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE_OPAQUE = 0,
  D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE_BACKGROUND = 1,
  D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE_DESTINATION = 2,
  D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE_SOURCE_STREAM = 3,
};

enum D3D11_VIDEO_PROCESSOR_OUTPUT_RATE {
  D3D11_VIDEO_PROCESSOR_OUTPUT_RATE_NORMAL = 0,
  D3D11_VIDEO_PROCESSOR_OUTPUT_RATE_HALF = 1,
  D3D11_VIDEO_PROCESSOR_OUTPUT_RATE_CUSTOM = 2,
};

enum D3D11_VIDEO_PROCESSOR_STEREO_FORMAT {
  D3D11_VIDEO_PROCESSOR_STEREO_FORMAT_MONO = 0,
  D3D11_VIDEO_PROCESSOR_STEREO_FORMAT_HORIZONTAL = 1,
  D3D11_VIDEO_PROCESSOR_STEREO_FORMAT_VERTICAL = 2,
  D3D11_VIDEO_PROCESSOR_STEREO_FORMAT_SEPARATE = 3,
  D3D11_VIDEO_PROCESSOR_STEREO_FORMAT_MONO_OFFSET = 4,
  D3D11_VIDEO_PROCESSOR_STEREO_FORMAT_ROW_INTERLEAVED = 5,
  D3D11_VIDEO_PROCESSOR_STEREO_FORMAT_COLUMN_INTERLEAVED = 6,
  D3D11_VIDEO_PROCESSOR_STEREO_FORMAT_CHECKERBOARD = 7,
};

enum D3D11_VIDEO_PROCESSOR_STEREO_FLIP_MODE {
  D3D11_VIDEO_PROCESSOR_STEREO_FLIP_NONE = 0,
  D3D11_VIDEO_PROCESSOR_STEREO_FLIP_FRAME0 = 1,
  D3D11_VIDEO_PROCESSOR_STEREO_FLIP_FRAME1 = 2,
};

enum D3D11_VIDEO_PROCESSOR_ROTATION {
  D3D11_VIDEO_PROCESSOR_ROTATION_IDENTITY = 0,
  D3D11_VIDEO_PROCESSOR_ROTATION_90 = 1,
  D3D11_VIDEO_PROCESSOR_ROTATION_180 = 2,
  D3D11_VIDEO_PROCESSOR_ROTATION_270 = 3,
};

enum D3D11_VIDEO_PROCESSOR_FILTER {
  D3D11_VIDEO_PROCESSOR_FILTER_BRIGHTNESS = 0,
  D3D11_VIDEO_PROCESSOR_FILTER_CONTRAST = 1,
  D3D11_VIDEO_PROCESSOR_FILTER_HUE = 2,
  D3D11_VIDEO_PROCESSOR_FILTER_SATURATION = 3,
  D3D11_VIDEO_PROCESSOR_FILTER_NOISE_REDUCTION = 4,
  D3D11_VIDEO_PROCESSOR_FILTER_EDGE_ENHANCEMENT = 5,
  D3D11_VIDEO_PROCESSOR_FILTER_ANAMORPHIC_SCALING = 6,
  D3D11_VIDEO_PROCESSOR_FILTER_STEREO_ADJUSTMENT = 7,
};

enum D3D11_VPIV_DIMENSION {
  D3D11_VPIV_DIMENSION_UNKNOWN = 0,
  D3D11_VPIV_DIMENSION_TEXTURE2D = 1,
};

enum D3D11_VPOV_DIMENSION {
  D3D11_VPOV_DIMENSION_UNKNOWN = 0,
  D3D11_VPOV_DIMENSION_TEXTURE2D = 1,
  D3D11_VPOV_DIMENSION_TEXTURE2DARRAY = 2,
};

// The decoder's and the protected-content enumerations, passed by value to
// methods the simulation answers with E_NOTIMPL.
enum D3D11_VIDEO_DECODER_BUFFER_TYPE {
  D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS = 0,
  D3D11_VIDEO_DECODER_BUFFER_MACROBLOCK_CONTROL = 1,
  D3D11_VIDEO_DECODER_BUFFER_RESIDUAL_DIFFERENCE = 2,
  D3D11_VIDEO_DECODER_BUFFER_DEBLOCKING_CONTROL = 3,
  D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX = 4,
  D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL = 5,
  D3D11_VIDEO_DECODER_BUFFER_BITSTREAM = 6,
  D3D11_VIDEO_DECODER_BUFFER_MOTION_VECTOR = 7,
  D3D11_VIDEO_DECODER_BUFFER_FILM_GRAIN = 8,
};

enum D3D11_AUTHENTICATED_CHANNEL_TYPE {
  D3D11_AUTHENTICATED_CHANNEL_D3D11 = 1,
  D3D11_AUTHENTICATED_CHANNEL_DRIVER_SOFTWARE = 2,
  D3D11_AUTHENTICATED_CHANNEL_DRIVER_HARDWARE = 3,
};

struct D3D11_VIDEO_PROCESSOR_CONTENT_DESC {
  D3D11_VIDEO_FRAME_FORMAT InputFrameFormat;
  DXGI_RATIONAL InputFrameRate;
  UINT InputWidth;
  UINT InputHeight;
  DXGI_RATIONAL OutputFrameRate;
  UINT OutputWidth;
  UINT OutputHeight;
  D3D11_VIDEO_USAGE Usage;
};

struct D3D11_VIDEO_PROCESSOR_CAPS {
  UINT DeviceCaps;
  UINT FeatureCaps;
  UINT FilterCaps;
  UINT InputFormatCaps;
  UINT AutoStreamCaps;
  UINT StereoCaps;
  UINT RateConversionCapsCount;
  UINT MaxInputStreams;
  UINT MaxStreamStates;
};

struct D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS {
  UINT PastFrames;
  UINT FutureFrames;
  UINT ProcessorCaps;
  UINT ITelecineCaps;
  UINT CustomRateCount;
};

struct D3D11_VIDEO_PROCESSOR_CUSTOM_RATE {
  DXGI_RATIONAL CustomRate;
  UINT OutputFrames;
  BOOL InputInterlaced;
  UINT InputFramesOrFields;
};

struct D3D11_VIDEO_PROCESSOR_FILTER_RANGE {
  int Minimum;
  int Maximum;
  int Default;
  float Multiplier;
};

struct D3D11_TEX2D_VPIV {
  UINT MipSlice;
  UINT ArraySlice;
};

struct D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC {
  UINT FourCC;
  D3D11_VPIV_DIMENSION ViewDimension;
  union {
    D3D11_TEX2D_VPIV Texture2D;
  };
};

struct D3D11_TEX2D_VPOV {
  UINT MipSlice;
};

struct D3D11_TEX2D_ARRAY_VPOV {
  UINT MipSlice;
  UINT FirstArraySlice;
  UINT ArraySize;
};

struct D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC {
  D3D11_VPOV_DIMENSION ViewDimension;
  union {
    D3D11_TEX2D_VPOV Texture2D;
    D3D11_TEX2D_ARRAY_VPOV Texture2DArray;
  };
};

struct D3D11_VIDEO_COLOR_YCbCrA {
  float Y;
  float Cb;
  float Cr;
  float A;
};

struct D3D11_VIDEO_COLOR_RGBA {
  float R;
  float G;
  float B;
  float A;
};

struct D3D11_VIDEO_COLOR {
  union {
    D3D11_VIDEO_COLOR_YCbCrA YCbCr;
    D3D11_VIDEO_COLOR_RGBA RGBA;
  };
};

// Usage: 0 playback, 1 video processing. RGB_Range: 0 full (0-255), 1
// limited (16-235). YCbCr_Matrix: 0 BT.601, 1 BT.709. Nominal_Range: a
// D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE.
struct D3D11_VIDEO_PROCESSOR_COLOR_SPACE {
  UINT Usage : 1;
  UINT RGB_Range : 1;
  UINT YCbCr_Matrix : 1;
  UINT YCbCr_xvYCC : 1;
  UINT Nominal_Range : 2;
  UINT Reserved : 26;
};

struct ID3D11VideoProcessorInputView;

struct D3D11_VIDEO_PROCESSOR_STREAM {
  BOOL Enable;
  UINT OutputIndex;
  UINT InputFrameOrField;
  UINT PastFrames;
  UINT FutureFrames;
  ID3D11VideoProcessorInputView** ppPastSurfaces;
  ID3D11VideoProcessorInputView* pInputSurface;
  ID3D11VideoProcessorInputView** ppFutureSurfaces;
  ID3D11VideoProcessorInputView** ppPastSurfacesRight;
  ID3D11VideoProcessorInputView* pInputSurfaceRight;
  ID3D11VideoProcessorInputView** ppFutureSurfacesRight;
};

// Named only: the decoder's and the protected-content structures and
// interfaces.
struct D3D11_VIDEO_DECODER_DESC;
struct D3D11_VIDEO_DECODER_CONFIG;
struct D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC;
struct D3D11_VIDEO_DECODER_BUFFER_DESC;
struct D3D11_VIDEO_DECODER_EXTENSION;
struct D3D11_VIDEO_CONTENT_PROTECTION_CAPS;
struct D3D11_ENCRYPTED_BLOCK_INFO;
struct D3D11_AUTHENTICATED_CONFIGURE_OUTPUT;
struct ID3D11VideoDecoder;
struct ID3D11VideoDecoderOutputView;
struct ID3D11CryptoSession;
struct ID3D11AuthenticatedChannel;

MORL_DEFINE_GUID(IID_ID3D11VideoProcessorEnumerator, 0x31627037, 0x53ab, 0x4200, 0x90, 0x61, 0x05,
                 0xfa, 0xa9, 0xab, 0x45, 0xf9);
MORL_DEFINE_GUID(IID_ID3D11VideoProcessor, 0x1d7b0652, 0x185f, 0x41c6, 0x85, 0xce, 0x0c, 0x5b, 0xe3,
                 0xd4, 0xae, 0x6c);
MORL_DEFINE_GUID(IID_ID3D11VideoProcessorInputView, 0x11ec5a5f, 0x51dc, 0x4945, 0xab, 0x34, 0x6e,
                 0x8c, 0x21, 0x30, 0x0e, 0xa5);
MORL_DEFINE_GUID(IID_ID3D11VideoProcessorOutputView, 0xa048285e, 0x25a9, 0x4527, 0xbd, 0x93, 0xd6,
                 0x8b, 0x68, 0xc4, 0x42, 0x54);
MORL_DEFINE_GUID(IID_ID3D11VideoDevice, 0x10ec4d5b, 0x975a, 0x4689, 0xb9, 0xe4, 0xd0, 0xaa, 0xc3,
                 0x0f, 0xe3, 0x33);
MORL_DEFINE_GUID(IID_ID3D11VideoContext, 0x61f21c45, 0x3c0e, 0x4a74, 0x9c, 0xea, 0x67, 0x10, 0x0d,
                 0x9a, 0xd5, 0xe4);

struct ID3D11VideoProcessorEnumerator : ID3D11DeviceChild {
  virtual HRESULT GetVideoProcessorContentDesc(
      D3D11_VIDEO_PROCESSOR_CONTENT_DESC* content_desc) = 0;
  virtual HRESULT CheckVideoProcessorFormat(DXGI_FORMAT format, UINT* flags) = 0;
  virtual HRESULT GetVideoProcessorCaps(D3D11_VIDEO_PROCESSOR_CAPS* caps) = 0;
  virtual HRESULT GetVideoProcessorRateConversionCaps(
      UINT type_index, D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS* caps) = 0;
  virtual HRESULT GetVideoProcessorCustomRate(UINT type_index, UINT custom_rate_index,
                                              D3D11_VIDEO_PROCESSOR_CUSTOM_RATE* rate) = 0;
  virtual HRESULT GetVideoProcessorFilterRange(D3D11_VIDEO_PROCESSOR_FILTER filter,
                                               D3D11_VIDEO_PROCESSOR_FILTER_RANGE* range) = 0;

 protected:
  ~ID3D11VideoProcessorEnumerator() = default;
};
MORL_INTERFACE_ID(ID3D11VideoProcessorEnumerator, IID_ID3D11VideoProcessorEnumerator);

struct ID3D11VideoProcessor : ID3D11DeviceChild {
  virtual void GetContentDesc(D3D11_VIDEO_PROCESSOR_CONTENT_DESC* desc) = 0;
  virtual void GetRateConversionCaps(D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS* caps) = 0;

 protected:
  ~ID3D11VideoProcessor() = default;
};
MORL_INTERFACE_ID(ID3D11VideoProcessor, IID_ID3D11VideoProcessor);

struct ID3D11VideoProcessorInputView : ID3D11View {
  virtual void GetDesc(D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC* desc) = 0;

 protected:
  ~ID3D11VideoProcessorInputView() = default;
};
MORL_INTERFACE_ID(ID3D11VideoProcessorInputView, IID_ID3D11VideoProcessorInputView);

struct ID3D11VideoProcessorOutputView : ID3D11View {
  virtual void GetDesc(D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC* desc) = 0;

 protected:
  ~ID3D11VideoProcessorOutputView() = default;
};
MORL_INTERFACE_ID(ID3D11VideoProcessorOutputView, IID_ID3D11VideoProcessorOutputView);

struct ID3D11VideoDevice : IUnknown {
  virtual HRESULT CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* video_desc,
                                     const D3D11_VIDEO_DECODER_CONFIG* config,
                                     ID3D11VideoDecoder** decoder) = 0;
  virtual HRESULT CreateVideoProcessor(ID3D11VideoProcessorEnumerator* enumerator,
                                       UINT rate_conversion_index,
                                       ID3D11VideoProcessor** video_processor) = 0;
  virtual HRESULT CreateAuthenticatedChannel(D3D11_AUTHENTICATED_CHANNEL_TYPE channel_type,
                                             ID3D11AuthenticatedChannel** channel) = 0;
  virtual HRESULT CreateCryptoSession(const GUID* crypto_type, const GUID* decoder_profile,
                                      const GUID* key_exchange_type,
                                      ID3D11CryptoSession** crypto_session) = 0;
  virtual HRESULT CreateVideoDecoderOutputView(ID3D11Resource* resource,
                                               const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* desc,
                                               ID3D11VideoDecoderOutputView** view) = 0;
  virtual HRESULT CreateVideoProcessorInputView(ID3D11Resource* resource,
                                                ID3D11VideoProcessorEnumerator* enumerator,
                                                const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC* desc,
                                                ID3D11VideoProcessorInputView** view) = 0;
  virtual HRESULT CreateVideoProcessorOutputView(ID3D11Resource* resource,
                                                 ID3D11VideoProcessorEnumerator* enumerator,
                                                 const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC* desc,
                                                 ID3D11VideoProcessorOutputView** view) = 0;
  virtual HRESULT CreateVideoProcessorEnumerator(const D3D11_VIDEO_PROCESSOR_CONTENT_DESC* desc,
                                                 ID3D11VideoProcessorEnumerator** enumerator) = 0;
  virtual UINT GetVideoDecoderProfileCount() = 0;
  virtual HRESULT GetVideoDecoderProfile(UINT index, GUID* decoder_profile) = 0;
  virtual HRESULT CheckVideoDecoderFormat(const GUID* decoder_profile, DXGI_FORMAT format,
                                          BOOL* supported) = 0;
  virtual HRESULT GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC* desc, UINT* count) = 0;
  virtual HRESULT GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC* desc, UINT index,
                                        D3D11_VIDEO_DECODER_CONFIG* config) = 0;
  virtual HRESULT GetContentProtectionCaps(const GUID* crypto_type, const GUID* decoder_profile,
                                           D3D11_VIDEO_CONTENT_PROTECTION_CAPS* caps) = 0;
  virtual HRESULT CheckCryptoKeyExchange(const GUID* crypto_type, const GUID* decoder_profile,
                                         UINT index, GUID* key_exchange_type) = 0;
  virtual HRESULT SetPrivateData(REFGUID guid, UINT data_size, const void* data) = 0;
  virtual HRESULT SetPrivateDataInterface(REFGUID guid, const IUnknown* data) = 0;

 protected:
  ~ID3D11VideoDevice() = default;
};
MORL_INTERFACE_ID(ID3D11VideoDevice, IID_ID3D11VideoDevice);

struct ID3D11VideoContext : ID3D11DeviceChild {
  virtual HRESULT GetDecoderBuffer(ID3D11VideoDecoder* decoder,
                                   D3D11_VIDEO_DECODER_BUFFER_TYPE type, UINT* buffer_size,
                                   void** buffer) = 0;
  virtual HRESULT ReleaseDecoderBuffer(ID3D11VideoDecoder* decoder,
                                       D3D11_VIDEO_DECODER_BUFFER_TYPE type) = 0;
  virtual HRESULT DecoderBeginFrame(ID3D11VideoDecoder* decoder, ID3D11VideoDecoderOutputView* view,
                                    UINT content_key_size, const void* content_key) = 0;
  virtual HRESULT DecoderEndFrame(ID3D11VideoDecoder* decoder) = 0;
  virtual HRESULT SubmitDecoderBuffers(ID3D11VideoDecoder* decoder, UINT num_buffers,
                                       const D3D11_VIDEO_DECODER_BUFFER_DESC* buffer_desc) = 0;
  virtual HRESULT DecoderExtension(ID3D11VideoDecoder* decoder,
                                   const D3D11_VIDEO_DECODER_EXTENSION* extension_data) = 0;
  virtual void VideoProcessorSetOutputTargetRect(ID3D11VideoProcessor* processor, BOOL enable,
                                                 const RECT* rect) = 0;
  virtual void VideoProcessorSetOutputBackgroundColor(ID3D11VideoProcessor* processor, BOOL y_cb_cr,
                                                      const D3D11_VIDEO_COLOR* color) = 0;
  virtual void VideoProcessorSetOutputColorSpace(
      ID3D11VideoProcessor* processor, const D3D11_VIDEO_PROCESSOR_COLOR_SPACE* color_space) = 0;
  virtual void VideoProcessorSetOutputAlphaFillMode(
      ID3D11VideoProcessor* processor, D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE alpha_fill_mode,
      UINT stream_index) = 0;
  virtual void VideoProcessorSetOutputConstriction(ID3D11VideoProcessor* processor, BOOL enable,
                                                   SIZE size) = 0;
  virtual void VideoProcessorSetOutputStereoMode(ID3D11VideoProcessor* processor, BOOL enable) = 0;
  virtual HRESULT VideoProcessorSetOutputExtension(ID3D11VideoProcessor* processor,
                                                   const GUID* extension_guid, UINT data_size,
                                                   void* data) = 0;
  virtual void VideoProcessorGetOutputTargetRect(ID3D11VideoProcessor* processor, BOOL* enabled,
                                                 RECT* rect) = 0;
  virtual void VideoProcessorGetOutputBackgroundColor(ID3D11VideoProcessor* processor,
                                                      BOOL* y_cb_cr, D3D11_VIDEO_COLOR* color) = 0;
  virtual void VideoProcessorGetOutputColorSpace(
      ID3D11VideoProcessor* processor, D3D11_VIDEO_PROCESSOR_COLOR_SPACE* color_space) = 0;
  virtual void VideoProcessorGetOutputAlphaFillMode(
      ID3D11VideoProcessor* processor, D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE* alpha_fill_mode,
      UINT* stream_index) = 0;
  virtual void VideoProcessorGetOutputConstriction(ID3D11VideoProcessor* processor, BOOL* enabled,
                                                   SIZE* size) = 0;
  virtual void VideoProcessorGetOutputStereoMode(ID3D11VideoProcessor* processor,
                                                 BOOL* enabled) = 0;
  virtual HRESULT VideoProcessorGetOutputExtension(ID3D11VideoProcessor* processor,
                                                   const GUID* extension_guid, UINT data_size,
                                                   void* data) = 0;
  virtual void VideoProcessorSetStreamFrameFormat(ID3D11VideoProcessor* processor,
                                                  UINT stream_index,
                                                  D3D11_VIDEO_FRAME_FORMAT frame_format) = 0;
  virtual void VideoProcessorSetStreamColorSpace(
      ID3D11VideoProcessor* processor, UINT stream_index,
      const D3D11_VIDEO_PROCESSOR_COLOR_SPACE* color_space) = 0;
  virtual void VideoProcessorSetStreamOutputRate(ID3D11VideoProcessor* processor, UINT stream_index,
                                                 D3D11_VIDEO_PROCESSOR_OUTPUT_RATE output_rate,
                                                 BOOL repeat_frame,
                                                 const DXGI_RATIONAL* custom_rate) = 0;
  virtual void VideoProcessorSetStreamSourceRect(ID3D11VideoProcessor* processor, UINT stream_index,
                                                 BOOL enable, const RECT* rect) = 0;
  virtual void VideoProcessorSetStreamDestRect(ID3D11VideoProcessor* processor, UINT stream_index,
                                               BOOL enable, const RECT* rect) = 0;
  virtual void VideoProcessorSetStreamAlpha(ID3D11VideoProcessor* processor, UINT stream_index,
                                            BOOL enable, float alpha) = 0;
  virtual void VideoProcessorSetStreamPalette(ID3D11VideoProcessor* processor, UINT stream_index,
                                              UINT count, const UINT* entries) = 0;
  virtual void VideoProcessorSetStreamPixelAspectRatio(ID3D11VideoProcessor* processor,
                                                       UINT stream_index, BOOL enable,
                                                       const DXGI_RATIONAL* source_aspect_ratio,
                                                       const DXGI_RATIONAL* dest_aspect_ratio) = 0;
  virtual void VideoProcessorSetStreamLumaKey(ID3D11VideoProcessor* processor, UINT stream_index,
                                              BOOL enable, float lower, float upper) = 0;
  virtual void VideoProcessorSetStreamStereoFormat(ID3D11VideoProcessor* processor,
                                                   UINT stream_index, BOOL enable,
                                                   D3D11_VIDEO_PROCESSOR_STEREO_FORMAT format,
                                                   BOOL left_view_frame0, BOOL base_view_frame0,
                                                   D3D11_VIDEO_PROCESSOR_STEREO_FLIP_MODE flip_mode,
                                                   int mono_offset) = 0;
  virtual void VideoProcessorSetStreamAutoProcessingMode(ID3D11VideoProcessor* processor,
                                                         UINT stream_index, BOOL enable) = 0;
  virtual void VideoProcessorSetStreamFilter(ID3D11VideoProcessor* processor, UINT stream_index,
                                             D3D11_VIDEO_PROCESSOR_FILTER filter, BOOL enable,
                                             int level) = 0;
  virtual HRESULT VideoProcessorSetStreamExtension(ID3D11VideoProcessor* processor,
                                                   UINT stream_index, const GUID* extension_guid,
                                                   UINT data_size, void* data) = 0;
  virtual void VideoProcessorGetStreamFrameFormat(ID3D11VideoProcessor* processor,
                                                  UINT stream_index,
                                                  D3D11_VIDEO_FRAME_FORMAT* frame_format) = 0;
  virtual void VideoProcessorGetStreamColorSpace(
      ID3D11VideoProcessor* processor, UINT stream_index,
      D3D11_VIDEO_PROCESSOR_COLOR_SPACE* color_space) = 0;
  virtual void VideoProcessorGetStreamOutputRate(ID3D11VideoProcessor* processor, UINT stream_index,
                                                 D3D11_VIDEO_PROCESSOR_OUTPUT_RATE* output_rate,
                                                 BOOL* repeat_frame,
                                                 DXGI_RATIONAL* custom_rate) = 0;
  virtual void VideoProcessorGetStreamSourceRect(ID3D11VideoProcessor* processor, UINT stream_index,
                                                 BOOL* enabled, RECT* rect) = 0;
  virtual void VideoProcessorGetStreamDestRect(ID3D11VideoProcessor* processor, UINT stream_index,
                                               BOOL* enabled, RECT* rect) = 0;
  virtual void VideoProcessorGetStreamAlpha(ID3D11VideoProcessor* processor, UINT stream_index,
                                            BOOL* enabled, float* alpha) = 0;
  virtual void VideoProcessorGetStreamPalette(ID3D11VideoProcessor* processor, UINT stream_index,
                                              UINT count, UINT* entries) = 0;
  virtual void VideoProcessorGetStreamPixelAspectRatio(ID3D11VideoProcessor* processor,
                                                       UINT stream_index, BOOL* enabled,
                                                       DXGI_RATIONAL* source_aspect_ratio,
                                                       DXGI_RATIONAL* dest_aspect_ratio) = 0;
  virtual void VideoProcessorGetStreamLumaKey(ID3D11VideoProcessor* processor, UINT stream_index,
                                              BOOL* enabled, float* lower, float* upper) = 0;
  virtual void VideoProcessorGetStreamStereoFormat(
      ID3D11VideoProcessor* processor, UINT stream_index, BOOL* enabled,
      D3D11_VIDEO_PROCESSOR_STEREO_FORMAT* format, BOOL* left_view_frame0, BOOL* base_view_frame0,
      D3D11_VIDEO_PROCESSOR_STEREO_FLIP_MODE* flip_mode, int* mono_offset) = 0;
  virtual void VideoProcessorGetStreamAutoProcessingMode(ID3D11VideoProcessor* processor,
                                                         UINT stream_index, BOOL* enabled) = 0;
  virtual void VideoProcessorGetStreamFilter(ID3D11VideoProcessor* processor, UINT stream_index,
                                             D3D11_VIDEO_PROCESSOR_FILTER filter, BOOL* enabled,
                                             int* level) = 0;
  virtual HRESULT VideoProcessorGetStreamExtension(ID3D11VideoProcessor* processor,
                                                   UINT stream_index, const GUID* extension_guid,
                                                   UINT data_size, void* data) = 0;
  virtual HRESULT VideoProcessorBlt(ID3D11VideoProcessor* processor,
                                    ID3D11VideoProcessorOutputView* view, UINT output_frame,
                                    UINT stream_count,
                                    const D3D11_VIDEO_PROCESSOR_STREAM* streams) = 0;
  virtual HRESULT NegotiateCryptoSessionKeyExchange(ID3D11CryptoSession* crypto_session,
                                                    UINT data_size, void* data) = 0;
  virtual void EncryptionBlt(ID3D11CryptoSession* crypto_session, ID3D11Texture2D* src_surface,
                             ID3D11Texture2D* dst_surface, UINT iv_size, void* iv) = 0;
  virtual void DecryptionBlt(ID3D11CryptoSession* crypto_session, ID3D11Texture2D* src_surface,
                             ID3D11Texture2D* dst_surface,
                             D3D11_ENCRYPTED_BLOCK_INFO* encrypted_block_info,
                             UINT content_key_size, const void* content_key, UINT iv_size,
                             void* iv) = 0;
  virtual void StartSessionKeyRefresh(ID3D11CryptoSession* crypto_session, UINT random_number_size,
                                      void* random_number) = 0;
  virtual void FinishSessionKeyRefresh(ID3D11CryptoSession* crypto_session) = 0;
  virtual HRESULT GetEncryptionBltKey(ID3D11CryptoSession* crypto_session, UINT key_size,
                                      void* read_back_key) = 0;
  virtual HRESULT NegotiateAuthenticatedChannelKeyExchange(ID3D11AuthenticatedChannel* channel,
                                                           UINT data_size, void* data) = 0;
  virtual HRESULT QueryAuthenticatedChannel(ID3D11AuthenticatedChannel* channel, UINT input_size,
                                            const void* input, UINT output_size, void* output) = 0;
  virtual HRESULT ConfigureAuthenticatedChannel(ID3D11AuthenticatedChannel* channel,
                                                UINT input_size, const void* input,
                                                D3D11_AUTHENTICATED_CONFIGURE_OUTPUT* output) = 0;
  virtual void VideoProcessorSetStreamRotation(ID3D11VideoProcessor* processor, UINT stream_index,
                                               BOOL enable,
                                               D3D11_VIDEO_PROCESSOR_ROTATION rotation) = 0;
  virtual void VideoProcessorGetStreamRotation(ID3D11VideoProcessor* processor, UINT stream_index,
                                               BOOL* enable,
                                               D3D11_VIDEO_PROCESSOR_ROTATION* rotation) = 0;

 protected:
  ~ID3D11VideoContext() = default;
};
MORL_INTERFACE_ID(ID3D11VideoContext, IID_ID3D11VideoContext);
