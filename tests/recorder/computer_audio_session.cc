#include "tests/recorder/computer_audio_session.h"

#include <cstdio>

#include "recorder/audio/computer_audio.h"
#include "recorder/now_100ns.h"

namespace computer_audio_session {
namespace {

std::string Failed(const char* step, HRESULT hr) {
  char text[96];
  std::snprintf(text, sizeof text, "%s hr=0x%08lx", step, static_cast<unsigned long>(hr));
  return text;
}

}  // namespace

std::string Open(morl::recorder::RecordingSession& session, const wchar_t* path) {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) return Failed("CoInitializeEx", hr);
  if ((hr = MFStartup(MF_VERSION, MFSTARTUP_LITE)) != S_OK) return Failed("MFStartup", hr);
  hr = MFCreateSinkWriterFromURL(path, nullptr, nullptr, session.writer.sink_writer.Put());
  if (hr != S_OK) return Failed("MFCreateSinkWriterFromURL", hr);
  morl::recorder::SetUpComputerAudio(session.writer, session.audio, session.captures);
  if (!session.captures.loopback.endpoint.active() || !session.captures.mic.endpoint.active()) {
    return "a capture did not open";
  }
  if ((hr = session.writer.sink_writer->BeginWriting()) != S_OK) return Failed("BeginWriting", hr);
  session.timeline.start_time = morl::recorder::Now100ns();
  return "";
}

void Close(morl::recorder::RecordingSession& session) {
  session.captures.loopback.Reset();
  session.captures.mic.Reset();
  session.writer.sink_writer.Reset();
  MFShutdown();
  CoUninitialize();
}

}  // namespace computer_audio_session
