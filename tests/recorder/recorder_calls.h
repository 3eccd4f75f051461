// The recorder's operations in the shape the suites compare: the HRESULT,
// with a failure's code and message and a stop's statistics as the "stop"
// reply map.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"
#include "recorder/recorder.h"
#include "recorder/recorder_channel.h"
#include "winsim.h"

namespace morl::recorder {

template <typename R>
HRESULT Outcome(const R& result, std::string& code, std::string& message) {
  code = result.ok() ? "" : result.error().code;
  message = result.ok() ? "" : result.error().message;
  return result.hr();
}

inline HRESULT StartRecorder(Recorder& recorder, const StartOptions& options, std::string& code,
                             std::string& message) {
  return Outcome(recorder.Start(options), code, message);
}

inline HRESULT StartRecorder(Recorder& recorder, const std::wstring& path, bool system_audio,
                             std::string& code, std::string& message) {
  return Outcome(recorder.Start(path, system_audio), code, message);
}

inline HRESULT StopRecorder(Recorder& recorder, std::string& code, std::string& message,
                            flutter::ValueMap& stats) {
  const Result<StopStatistics> stopped = recorder.Stop();
  if (stopped) stats = StopReply(*stopped);
  return Outcome(stopped, code, message);
}

// Runs this thread's messages, as the platform thread's loop does, until
// `done` holds: the replies of a start or stop come through them.
inline void PumpMessagesUntil(const std::function<bool()>& done) {
  MSG msg;
  while (!done() && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
}

// The index of the last sink writer's stream of `major_type`; -1 when it has
// none.
inline long LastStreamIndex(const GUID& major_type) {
  const std::vector<winsim::SinkStream> streams = winsim::SinkWriters().back().streams;
  for (std::size_t i = 0; i < streams.size(); ++i) {
    if (streams[i].major_type == major_type) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace morl::recorder
