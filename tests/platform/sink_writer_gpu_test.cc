// The sink writer's H.264 encoders: the GPU's or the software one, the
// transforms a stream passes through and the encoder's codec properties.
#include <codecapi.h>
#include <gtest/gtest.h>
#include <icodecapi.h>
#include <mftransform.h>
#include <winsim_gpu.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>

#include "sink_writer_test_support.h"

namespace {

using namespace sinktest;  // NOLINT: the shared helpers read as local ones

enum class Hardware { kAbsent, kFalse, kTrue };

class SinkWriterGpuTest : public SinkWriterTest {
 protected:
  // A writer that records calls only, with MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS as given.
  void CreateWriter(Hardware hardware, IMFSinkWriter** writer) {
    ComRef<IMFAttributes> attributes;
    ASSERT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
    if (hardware != Hardware::kAbsent) {
      attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS,
                            hardware == Hardware::kTrue ? TRUE : FALSE);
    }
    ASSERT_EQ(MFCreateSinkWriterFromURL(Wide(mp4test::TempPath("gpu.mp4")).c_str(), nullptr,
                                        attributes.Get(), writer),
              S_OK);
  }
};

std::optional<winsim::Gpu> GpuWith(std::vector<std::string> encoders, int max_width,
                                   int max_height) {
  winsim::Gpu gpu;
  gpu.name = L"Test GPU";
  gpu.encoders = std::move(encoders);
  gpu.max_width = max_width;
  gpu.max_height = max_height;
  return gpu;
}

std::wstring StringOf(IMFAttributes* attributes, REFGUID key) {
  wchar_t text[128] = {};
  return SUCCEEDED(attributes->GetString(key, text, 128, nullptr)) ? text : L"(absent)";
}

// Which encoder takes a video stream, and what its transform says of itself.
TEST_F(SinkWriterGpuTest, EncoderChoiceFollowsTheGpuTheAttributeAndTheFrameSize) {
  winsim::SetSinkEncoding(false);
  const auto h264 = GpuWith({"h264"}, 4096, 2304);
  const struct {
    const char* name;
    std::optional<winsim::Gpu> gpu;
    Hardware hardware;
    UINT32 width, height;
    HRESULT input_set;
    bool on_gpu;
  } cases[] = {
      {"GPU with H.264, hardware allowed", h264, Hardware::kTrue, 1920, 1080, S_OK, true},
      {"attribute absent: software by default", h264, Hardware::kAbsent, 1920, 1080, S_OK, false},
      {"attribute FALSE", h264, Hardware::kFalse, 1920, 1080, S_OK, false},
      {"GPU without encoders", GpuWith({}, 4096, 2304), Hardware::kTrue, 1920, 1080, S_OK, false},
      {"no hardware GPU", std::nullopt, Hardware::kTrue, 1920, 1080, S_OK, false},
      {"frame at the GPU's largest", GpuWith({"h264"}, 1920, 1080), Hardware::kTrue, 1920, 1080,
       S_OK, true},
      {"frame over the GPU's largest: software", GpuWith({"h264"}, 1920, 1080), Hardware::kTrue,
       1922, 1080, S_OK, false},
      {"over the GPU's and software's largest", GpuWith({"h264"}, 1920, 1080), Hardware::kTrue,
       5120, 2880, MF_E_TOPO_CODEC_NOT_FOUND, false},
      {"GPU takes what software cannot", GpuWith({"h264"}, 8192, 8192), Hardware::kTrue, 5120, 2880,
       S_OK, true},
      {"odd width: no encoder at all", h264, Hardware::kTrue, 1919, 1080, MF_E_TOPO_CODEC_NOT_FOUND,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetSinkWriters();
    winsim::SetGpu(c.gpu);
    ComRef<IMFSinkWriter> writer;
    CreateWriter(c.hardware, writer.Put());
    DWORD index = 0;
    ASSERT_EQ(
        AddStream(
            writer.Get(), [&](IMFMediaType* t) { VideoType(t, true, c.width, c.height); }, &index),
        S_OK);
    ASSERT_EQ(
        SetInput(writer.Get(), 0, [&](IMFMediaType* t) { VideoType(t, false, c.width, c.height); }),
        c.input_set);
    ComRef<IMFSinkWriterEx> ex;
    ASSERT_EQ(writer->QueryInterface(IID_PPV_ARGS(ex.Put())), S_OK);
    ComRef<IMFTransform> encoder;
    GUID category{};
    if (FAILED(c.input_set)) {
      EXPECT_EQ(ex->GetTransformForStream(0, 0, &category, encoder.Put()), MF_E_INVALIDINDEX);
      continue;
    }
    EXPECT_EQ(winsim::SinkWriters()[0].streams[0].hardware_encoder, c.on_gpu);
    ASSERT_EQ(ex->GetTransformForStream(0, 1, &category, encoder.Put()), S_OK);
    EXPECT_EQ(category, MFT_CATEGORY_VIDEO_ENCODER);
    ComRef<IMFAttributes> attributes;
    ASSERT_EQ(encoder->GetAttributes(attributes.Put()), S_OK);
    EXPECT_EQ(StringOf(attributes.Get(), MFT_ENUM_HARDWARE_URL_Attribute) != L"(absent)", c.on_gpu);
    EXPECT_EQ(StringOf(attributes.Get(), MFT_ENUM_HARDWARE_VENDOR_ID_Attribute),
              c.on_gpu ? L"VEN_0000" : L"(absent)");
    EXPECT_EQ(MFGetAttributeUINT32(attributes.Get(), MF_SA_D3D11_AWARE, FALSE),
              c.on_gpu ? TRUE : FALSE);
    EXPECT_EQ(StringOf(attributes.Get(), MFT_FRIENDLY_NAME_Attribute),
              c.on_gpu ? L"Test GPU H.264 Encoder MFT" : L"H264 Encoder MFT");
  }
}

// Where GetTransformForStream and GetServiceForStream find nothing, and the
// interfaces the writer and its transforms answer for.
TEST_F(SinkWriterGpuTest, TransformAndServiceLookups) {
  winsim::SetSinkEncoding(false);
  ComRef<IMFSinkWriter> writer;
  CreateWriter(Hardware::kTrue, writer.Put());
  ComRef<IMFSinkWriterEx> ex;
  ASSERT_EQ(writer->QueryInterface(IID_PPV_ARGS(ex.Put())), S_OK);
  ComRef<IMFSinkWriter> back;
  EXPECT_EQ(ex->QueryInterface(IID_PPV_ARGS(back.Put())), S_OK);
  DWORD index = 0;
  ASSERT_EQ(AddStream(
                writer.Get(), [](IMFMediaType* t) { VideoType(t, true, 64, 48); }, &index),
            S_OK);
  ASSERT_EQ(AddStream(
                writer.Get(), [](IMFMediaType* t) { AudioType(t, true, 48000, 2); }, &index),
            S_OK);

  const auto transform = [&](DWORD stream, DWORD n, GUID* category) {
    ComRef<IMFTransform> found;
    return ex->GetTransformForStream(stream, n, category, found.Put());
  };
  const auto service = [&](DWORD stream, REFGUID guid, REFIID riid) {
    ComRef<IUnknown> found;
    const HRESULT hr =
        writer->GetServiceForStream(stream, guid, riid, reinterpret_cast<void**>(&found));
    EXPECT_EQ(SUCCEEDED(hr), found.Get() != nullptr);
    return hr;
  };
  EXPECT_EQ(transform(0, 0, nullptr), MF_E_INVALIDINDEX) << "no input type: no transforms yet";
  EXPECT_EQ(service(0, GUID_NULL, IID_ICodecAPI), MF_E_UNSUPPORTED_SERVICE);
  ASSERT_EQ(SetInput(writer.Get(), 0, [](IMFMediaType* t) { VideoType(t, false, 64, 48); }), S_OK);
  ASSERT_EQ(SetInput(writer.Get(), 1, [](IMFMediaType* t) { AudioType(t, false, 48000, 2); }),
            S_OK);

  GUID category{};
  EXPECT_EQ(transform(0, 0, &category), S_OK);
  EXPECT_EQ(category, MFT_CATEGORY_VIDEO_PROCESSOR) << "the colour converter comes first";
  EXPECT_EQ(transform(0, 2, &category), MF_E_INVALIDINDEX);
  EXPECT_EQ(transform(1, 0, &category), S_OK);
  EXPECT_EQ(category, MFT_CATEGORY_AUDIO_ENCODER);
  EXPECT_EQ(transform(1, 1, &category), MF_E_INVALIDINDEX);
  EXPECT_EQ(transform(2, 0, &category), MF_E_INVALIDSTREAMNUMBER);
  EXPECT_EQ(ex->GetTransformForStream(0, 0, &category, nullptr), E_POINTER);

  EXPECT_EQ(service(0, GUID_NULL, IID_ICodecAPI), S_OK);
  EXPECT_EQ(service(0, GUID_NULL, IID_IMFTransform), S_OK);
  EXPECT_EQ(service(0, GUID_NULL, IID_IMFSample), E_NOINTERFACE);
  EXPECT_EQ(service(1, GUID_NULL, IID_ICodecAPI), E_NOINTERFACE) << "the AAC encoder has none";
  EXPECT_EQ(service(0, MFT_CATEGORY_VIDEO_ENCODER, IID_ICodecAPI), MF_E_UNSUPPORTED_SERVICE);
  EXPECT_EQ(service(MF_SINK_WRITER_MEDIASINK, GUID_NULL, IID_ICodecAPI), MF_E_UNSUPPORTED_SERVICE);
  EXPECT_EQ(service(2, GUID_NULL, IID_ICodecAPI), MF_E_INVALIDSTREAMNUMBER);
}

VARIANT Number(UINT32 value, VARTYPE type = VT_UI4) {
  VARIANT v;
  VariantInit(&v);
  v.vt = type;
  v.ulVal = value;
  return v;
}

// The codec properties: what may be set, when, and what is read back.
TEST_F(SinkWriterGpuTest, CodecPropertiesAndWhenTheyMayChange) {
  winsim::SetSinkEncoding(false);
  const GUID kMean = CODECAPI_AVEncCommonMeanBitRate;
  const GUID kMode = CODECAPI_AVEncCommonRateControlMode;
  const GUID kGop = CODECAPI_AVEncMPVGOPSize;
  const GUID kQuality = MF_MT_AVG_BITRATE;  // not a codec property of this encoder
  const struct {
    const char* name;
    bool writing;
    GUID api;
    VARIANT value;
    HRESULT set;
    UINT32 read_back;  // after the call
  } cases[] = {
      {"mean bit rate", false, kMean, Number(3'000'000), S_OK, 3'000'000},
      {"mean bit rate while writing", true, kMean, Number(250'000), MF_E_INVALIDREQUEST, 1'500'000},
      {"mean bit rate zero", false, kMean, Number(0), E_INVALIDARG, 1'500'000},
      {"mean bit rate as a signed number", false, kMean, Number(5, VT_I4), E_INVALIDARG, 1'500'000},
      {"unconstrained VBR", false, kMode, Number(eAVEncCommonRateControlMode_UnconstrainedVBR),
       S_OK, eAVEncCommonRateControlMode_UnconstrainedVBR},
      {"quality mode is not offered", false, kMode, Number(eAVEncCommonRateControlMode_Quality),
       E_INVALIDARG, eAVEncCommonRateControlMode_CBR},
      {"rate control while writing", true, kMode,
       Number(eAVEncCommonRateControlMode_PeakConstrainedVBR), MF_E_INVALIDREQUEST,
       eAVEncCommonRateControlMode_CBR},
      {"GOP size", false, kGop, Number(30), S_OK, 30},
      {"GOP size while writing", true, kGop, Number(30), MF_E_INVALIDREQUEST, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComRef<IMFSinkWriter> writer;
    CreateWriter(Hardware::kTrue, writer.Put());
    Declare(writer.Get(), 64, 48);
    if (c.writing) {
      ASSERT_EQ(writer->BeginWriting(), S_OK);
    }
    ComRef<ICodecAPI> codec;
    ASSERT_EQ(writer->GetServiceForStream(0, GUID_NULL, IID_PPV_ARGS(codec.Put())), S_OK);
    EXPECT_EQ(codec->IsSupported(&c.api), S_OK);
    EXPECT_EQ(codec->IsModifiable(&c.api), c.writing ? S_FALSE : S_OK);
    VARIANT value = c.value;
    EXPECT_EQ(codec->SetValue(&c.api, &value), c.set);
    VARIANT read;
    VariantInit(&read);
    ASSERT_EQ(codec->GetValue(&c.api, &read), S_OK);
    EXPECT_EQ(read.vt, VT_UI4);
    EXPECT_EQ(read.ulVal, c.read_back);
    ASSERT_EQ(codec->GetDefaultValue(&kMean, &read), S_OK);
    EXPECT_EQ(read.ulVal, 1'500'000u) << "the default is the output type's MF_MT_AVG_BITRATE";
    EXPECT_EQ(codec->IsSupported(&kQuality), E_NOTIMPL);
    EXPECT_EQ(codec->SetValue(&kQuality, &value), E_NOTIMPL);
  }
}

// Each of these calls fails when told to, giving no object.
TEST_F(SinkWriterGpuTest, NewCallsFailByInjection) {
  winsim::SetSinkEncoding(false);
  ComRef<IMFSinkWriter> writer;
  CreateWriter(Hardware::kTrue, writer.Put());
  Declare(writer.Get(), 64, 48);
  ComRef<IMFSinkWriterEx> ex;
  ASSERT_EQ(writer->QueryInterface(IID_PPV_ARGS(ex.Put())), S_OK);
  ComRef<IMFTransform> encoder;
  ASSERT_EQ(ex->GetTransformForStream(0, 1, nullptr, encoder.Put()), S_OK);
  ComRef<ICodecAPI> codec;
  ASSERT_EQ(writer->GetServiceForStream(0, GUID_NULL, IID_PPV_ARGS(codec.Put())), S_OK);
  const GUID api = CODECAPI_AVEncCommonMeanBitRate;
  const struct {
    const char* call;
    std::function<HRESULT()> make;
  } cases[] = {
      {"IMFSinkWriterEx::GetTransformForStream",
       [&] {
         ComRef<IMFTransform> t;
         const HRESULT hr = ex->GetTransformForStream(0, 1, nullptr, t.Put());
         EXPECT_EQ(SUCCEEDED(hr), t.Get() != nullptr);
         return hr;
       }},
      {"IMFSinkWriter::GetServiceForStream",
       [&] {
         ComRef<ICodecAPI> c;
         const HRESULT hr = writer->GetServiceForStream(0, GUID_NULL, IID_PPV_ARGS(c.Put()));
         EXPECT_EQ(SUCCEEDED(hr), c.Get() != nullptr);
         return hr;
       }},
      {"IMFTransform::GetAttributes",
       [&] {
         ComRef<IMFAttributes> a;
         const HRESULT hr = encoder->GetAttributes(a.Put());
         EXPECT_EQ(SUCCEEDED(hr), a.Get() != nullptr);
         return hr;
       }},
      {"ICodecAPI::SetValue",
       [&] {
         VARIANT v = Number(2'000'000);
         return codec->SetValue(&api, &v);
       }},
      {"ICodecAPI::GetValue",
       [&] {
         VARIANT v;
         VariantInit(&v);
         return codec->GetValue(&api, &v);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    winsim::FailCall(c.call, E_OUTOFMEMORY);
    EXPECT_EQ(c.make(), E_OUTOFMEMORY);
    EXPECT_EQ(c.make(), S_OK);
  }
}

// The file's bit rate follows the mean the encoder was given: the output
// type's MF_MT_AVG_BITRATE, or the codec property set over it. Noise
// frames, so the encoder spends all it may.
TEST_F(SinkWriterGpuTest, FileBitRateFollowsTheMeanAskedFor) {
  constexpr UINT32 kWidth = 320, kHeight = 240, kFrames = 90;  // 30 fps: three seconds
  const struct {
    const char* name;
    Hardware hardware;
    UINT32 type_bitrate;
    UINT32 set_before;  // the codec property before BeginWriting; 0: not set
    double expected;
  } cases[] = {
      {"software, 2 Mbit/s", Hardware::kAbsent, 2'000'000, 0, 2'000'000},
      {"software, 6 Mbit/s", Hardware::kAbsent, 6'000'000, 0, 6'000'000},
      {"GPU, 3 Mbit/s", Hardware::kTrue, 3'000'000, 0, 3'000'000},
      {"codec property over the type", Hardware::kTrue, 1'500'000, 6'000'000, 6'000'000},
  };
  std::mt19937 random(7);
  std::vector<BYTE> frame(std::size_t{kWidth} * kHeight * 4);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = mp4test::TempPath("bitrate.mp4");
    ComRef<IMFAttributes> attributes;
    ASSERT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
    attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS,
                          c.hardware == Hardware::kTrue ? TRUE : FALSE);
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(
        MFCreateSinkWriterFromURL(Wide(path).c_str(), nullptr, attributes.Get(), writer.Put()),
        S_OK);
    DWORD index = 0;
    ASSERT_EQ(AddStream(
                  writer.Get(),
                  [&](IMFMediaType* t) {
                    VideoType(t, true, kWidth, kHeight);
                    t->SetUINT32(MF_MT_AVG_BITRATE, c.type_bitrate);
                    MFSetAttributeRatio(t, MF_MT_FRAME_RATE, 30, 1);
                  },
                  &index),
              S_OK);
    ASSERT_EQ(SetInput(writer.Get(), 0,
                       [&](IMFMediaType* t) {
                         VideoType(t, false, kWidth, kHeight);
                         MFSetAttributeRatio(t, MF_MT_FRAME_RATE, 30, 1);
                       }),
              S_OK);
    ComRef<ICodecAPI> codec;
    ASSERT_EQ(writer->GetServiceForStream(0, GUID_NULL, IID_PPV_ARGS(codec.Put())), S_OK);
    const GUID mean = CODECAPI_AVEncCommonMeanBitRate;
    if (c.set_before != 0) {
      VARIANT v = Number(c.set_before);
      ASSERT_EQ(codec->SetValue(&mean, &v), S_OK);
    }
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    for (UINT32 n = 0; n < kFrames; ++n) {
      for (BYTE& b : frame) b = static_cast<BYTE>(random());
      ASSERT_EQ(WriteBytes(writer.Get(), 0, frame, n * 333'333LL, 333'333), S_OK);
    }
    ASSERT_EQ(writer->Finalize(), S_OK);
    const double bits = static_cast<double>(std::filesystem::file_size(path)) * 8;
    const double rate = bits / 3.0;
    // x264's rate control overshoots a little over three seconds (the
    // first key frame); a rate ignored is off by a factor of two or more.
    EXPECT_GT(rate, c.expected * 0.8);
    EXPECT_LT(rate, c.expected * 1.3);
  }
}

}  // namespace
