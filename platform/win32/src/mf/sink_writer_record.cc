#include "mf/sink_writer_record.h"

#include "mf/sink_writer_media_types.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace winsim {
namespace {

struct RecordState {
  std::mutex mutex;
  std::vector<SinkWriterRecord> records;
  std::size_t generation = 0;
  bool encode = true;
  bool hold = false;
  std::int64_t disk_free = -1;
  int latency_frames = 0;
  std::uint32_t max_width = kH264MaxWidth;
  std::uint32_t max_height = kH264MaxHeight;
  std::condition_variable hold_changed;
};

RecordState& State() {
  static RecordState* state = new RecordState();  // outlives writers released at exit
  return *state;
}

}  // namespace

SinkRecordHandle SinkRecordHandle::Add(SinkWriterRecord record) {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  SinkRecordHandle handle;
  handle.generation_ = state.generation;
  handle.index_ = state.records.size();
  state.records.push_back(std::move(record));
  return handle;
}

void SinkRecordHandle::Update(const std::function<void(SinkWriterRecord&)>& change) const {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (generation_ != state.generation || index_ >= state.records.size()) return;
  change(state.records[index_]);
}

std::vector<SinkWriterRecord> SinkWriters() {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.records;
}

void ResetSinkWriters() {
  RecordState& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.records.clear();
    ++state.generation;
    state.encode = true;
    state.hold = false;
    state.disk_free = -1;
    state.latency_frames = 0;
    state.max_width = kH264MaxWidth;
    state.max_height = kH264MaxHeight;
  }
  state.hold_changed.notify_all();
}

void SetDiskFreeBytes(std::int64_t bytes) {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.disk_free = bytes < 0 ? -1 : bytes;
}

std::int64_t DiskFreeBytes() {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.disk_free;
}

void SetEncoderLatencyFrames(int frames) {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.latency_frames = frames < 0 ? 0 : frames;
}

int EncoderLatencyFrames() {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.latency_frames;
}

void SetEncoderMaxFrameSize(std::uint32_t width, std::uint32_t height) {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.max_width = width;
  state.max_height = height;
}

void EncoderMaxFrameSize(std::uint32_t* width, std::uint32_t* height) {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  *width = state.max_width;
  *height = state.max_height;
}

void SetSinkEncoding(bool encode) {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.encode = encode;
}

bool SinkEncodingEnabled() {
  RecordState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.encode;
}

void HoldSinkEncoding(bool hold) {
  RecordState& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.hold = hold;
  }
  state.hold_changed.notify_all();
}

void WaitWhileSinkEncodingHeld(const std::atomic<bool>& abandon) {
  RecordState& state = State();
  std::unique_lock<std::mutex> lock(state.mutex);
  state.hold_changed.wait(lock, [&] { return !state.hold || abandon.load(); });
}

void WakeSinkEncoders() {
  RecordState& state = State();
  { std::lock_guard<std::mutex> lock(state.mutex); }
  state.hold_changed.notify_all();
}

}  // namespace winsim
