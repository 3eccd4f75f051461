// Standard codec throughput against memcpy and msgpack-c on the payloads the
// recorder channel actually carries: the "stop" statistics map, a "start"
// call, and bulk byte and double lists. Prints the target ratios at the end.
#include <benchmark/benchmark.h>
#include <msgpack.hpp>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/standard_codec_serializer.h"
#include "messaging/standard_method_codec.h"

namespace {

using flutter::EncodableValue;

constexpr size_t kByteListSize = 1 << 20;
constexpr size_t kDoubleCount = 100000;
const char kPath[] = "C:\\Users\\someone\\Videos\\morl_desktop\\recording-2024-05-01.mp4";

const flutter::StandardCodecSerializer& Serializer() {
  return flutter::StandardCodecSerializer::SharedInstance();
}

EncodableValue StopMap() {
  return EncodableValue(flutter::ValueMap{
      {EncodableValue("path"), EncodableValue(kPath)},
      {EncodableValue("durationMs"), EncodableValue(int64_t{125340})},
      {EncodableValue("width"), EncodableValue(int32_t{2560})},
      {EncodableValue("height"), EncodableValue(int32_t{1440})},
      {EncodableValue("frames"), EncodableValue(int64_t{1880})},
      {EncodableValue("bytes"), EncodableValue(int64_t{48213377})},
      {EncodableValue("hadAudio"), EncodableValue(true)},
  });
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  Serializer().WriteValue(value, &writer);
  return bytes;
}

EncodableValue Decode(const std::vector<uint8_t>& bytes) {
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return Serializer().ReadTaggedValue(&reader);
}

void BM_MapEncode(benchmark::State& state) {
  EncodableValue map = StopMap();
  for (auto _ : state) benchmark::DoNotOptimize(Encode(map));
}

void BM_MapDecode(benchmark::State& state) {
  std::vector<uint8_t> bytes = Encode(StopMap());
  for (auto _ : state) benchmark::DoNotOptimize(Decode(bytes));
}

void BM_MapEncodeDecode(benchmark::State& state) {
  EncodableValue map = StopMap();
  for (auto _ : state) benchmark::DoNotOptimize(Decode(Encode(map)));
}

struct StopStats {
  std::string path = kPath;
  int64_t duration_ms = 125340;
  int32_t width = 2560;
  int32_t height = 1440;
  int64_t frames = 1880;
  int64_t bytes = 48213377;
  bool had_audio = true;
};

// Packs the same seven entries as a msgpack map and unpacks it to objects.
void BM_MsgpackMapRoundTrip(benchmark::State& state) {
  StopStats stats;
  for (auto _ : state) {
    msgpack::sbuffer buffer;
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    packer.pack_map(7);
    packer.pack(std::string("path"));
    packer.pack(stats.path);
    packer.pack(std::string("durationMs"));
    packer.pack(stats.duration_ms);
    packer.pack(std::string("width"));
    packer.pack(stats.width);
    packer.pack(std::string("height"));
    packer.pack(stats.height);
    packer.pack(std::string("frames"));
    packer.pack(stats.frames);
    packer.pack(std::string("bytes"));
    packer.pack(stats.bytes);
    packer.pack(std::string("hadAudio"));
    packer.pack(stats.had_audio);
    msgpack::object_handle handle = msgpack::unpack(buffer.data(), buffer.size());
    benchmark::DoNotOptimize(handle.get());
  }
}

void BM_ByteListEncode(benchmark::State& state) {
  EncodableValue list(std::vector<uint8_t>(kByteListSize, 0x5A));
  for (auto _ : state) benchmark::DoNotOptimize(Encode(list));
  state.SetBytesProcessed(state.iterations() * kByteListSize);
}

void BM_ByteListDecode(benchmark::State& state) {
  std::vector<uint8_t> bytes = Encode(EncodableValue(std::vector<uint8_t>(kByteListSize, 0x5A)));
  for (auto _ : state) benchmark::DoNotOptimize(Decode(bytes));
  state.SetBytesProcessed(state.iterations() * kByteListSize);
}

void BM_MsgpackBinRoundTrip(benchmark::State& state) {
  std::vector<char> payload(kByteListSize, 0x5A);
  for (auto _ : state) {
    msgpack::sbuffer buffer;
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    packer.pack_bin(static_cast<uint32_t>(payload.size()));
    packer.pack_bin_body(payload.data(), static_cast<uint32_t>(payload.size()));
    msgpack::object_handle handle = msgpack::unpack(buffer.data(), buffer.size());
    benchmark::DoNotOptimize(handle.get());
  }
  state.SetBytesProcessed(state.iterations() * kByteListSize);
}

void BM_DoubleListEncode(benchmark::State& state) {
  EncodableValue list(std::vector<double>(kDoubleCount, 0.25));
  for (auto _ : state) benchmark::DoNotOptimize(Encode(list));
  state.SetBytesProcessed(state.iterations() * kDoubleCount * sizeof(double));
}

void BM_DoubleListDecode(benchmark::State& state) {
  std::vector<uint8_t> bytes = Encode(EncodableValue(std::vector<double>(kDoubleCount, 0.25)));
  for (auto _ : state) benchmark::DoNotOptimize(Decode(bytes));
  state.SetBytesProcessed(state.iterations() * kDoubleCount * sizeof(double));
}

void BM_MsgpackDoubleArrayRoundTrip(benchmark::State& state) {
  std::vector<double> payload(kDoubleCount, 0.25);
  for (auto _ : state) {
    msgpack::sbuffer buffer;
    msgpack::pack(buffer, payload);
    msgpack::object_handle handle = msgpack::unpack(buffer.data(), buffer.size());
    benchmark::DoNotOptimize(handle.get());
  }
  state.SetBytesProcessed(state.iterations() * kDoubleCount * sizeof(double));
}

template <size_t kBytes>
void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> source(kBytes, 0x5A);
  std::vector<uint8_t> destination(kBytes);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), kBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

flutter::MethodCall<> StartCall() {
  return flutter::MethodCall<>(
      "start", std::make_unique<EncodableValue>(
                   flutter::ValueMap{{EncodableValue("path"), EncodableValue(kPath)},
                                     {EncodableValue("systemAudio"), EncodableValue(true)}}));
}

void BM_StartCallEncode(benchmark::State& state) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  flutter::MethodCall<> call = StartCall();
  for (auto _ : state) benchmark::DoNotOptimize(codec.EncodeCall(call));
}

void BM_StartCallDecode(benchmark::State& state) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  auto bytes = codec.EncodeCall(StartCall());
  for (auto _ : state) benchmark::DoNotOptimize(codec.DecodeCall(bytes->data(), bytes->size()));
}

BENCHMARK(BM_MapEncode);
BENCHMARK(BM_MapDecode);
BENCHMARK(BM_MapEncodeDecode);
BENCHMARK(BM_MsgpackMapRoundTrip);
BENCHMARK(BM_ByteListEncode);
BENCHMARK(BM_ByteListDecode);
BENCHMARK(BM_MsgpackBinRoundTrip);
BENCHMARK_TEMPLATE(BM_Memcpy, kByteListSize);
BENCHMARK(BM_DoubleListEncode);
BENCHMARK(BM_DoubleListDecode);
BENCHMARK(BM_MsgpackDoubleArrayRoundTrip);
BENCHMARK_TEMPLATE(BM_Memcpy, kDoubleCount * sizeof(double));
BENCHMARK(BM_StartCallEncode);
BENCHMARK(BM_StartCallDecode);

// Keeps each run's CPU time per iteration (steadier than wall time on a shared
// machine) so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration)
        times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
  }

  void PrintRatios() const {
    std::printf("\nratios (targets in brackets):\n");
    Ratio("map encode+decode speed vs msgpack round trip [>= 0.50]", "BM_MsgpackMapRoundTrip",
          "BM_MapEncodeDecode");
    Ratio("1 MiB byte list decode bandwidth vs memcpy [>= 0.40]", "BM_Memcpy<kByteListSize>",
          "BM_ByteListDecode");
    Ratio("100,000 doubles decode bandwidth vs memcpy [>= 0.25]",
          "BM_Memcpy<kDoubleCount * sizeof(double)>", "BM_DoubleListDecode");
  }

 private:
  void Ratio(const char* label, const std::string& reference, const std::string& ours) const {
    auto r = times_.find(reference);
    auto o = times_.find(ours);
    if (r == times_.end() || o == times_.end() || o->second <= 0) return;
    std::printf("  %-60s %.2f\n", label, r->second / o->second);
  }

  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
