// RecordingSession: the parts of one recording, each given only to the
// workers and helpers that use it. Its Recording owns it and joins the
// workers before it goes.
//
// Threads: the workers end when the time line's stop is signalled and hold
// the writer's mutex around every sample write. The video worker gets the
// time line, the writer, its VideoTrack and the SourceWatch; the audio
// worker (the mixer, or the microphone's follower with the reader's
// callback) the time line, the writer, the AudioTrack and its own source:
// the ComputerAudioCaptures or the MicrophoneInput. Each part's header says
// who changes which of its fields; every other field a worker reads is
// written before it is launched and released only after it has been joined.
//
// The parts go in the reverse order of their declaration: the watch, the
// video's grabber and scaler, the captures, the microphone's callback and
// reader, the writer and last the stop's events.
#pragma once

#include <string>
#include <thread>

#include "recorder/audio/audio_track.h"
#include "recorder/audio/computer_audio.h"
#include "recorder/audio/microphone_reader.h"
#include "recorder/recording_timeline.h"
#include "recorder/sample_writer.h"
#include "recorder/source_watch.h"
#include "recorder/video/video_track.h"

namespace morl::recorder {

struct RecordingSession {
  RecordingTimeline timeline;
  std::thread video_thread;
  std::thread audio_thread;
  TrackWriter writer;              // what every worker writes to
  MicrophoneInput microphone;      // the microphone recorded alone
  ComputerAudioCaptures captures;  // computer audio, with a microphone mixed in
  AudioTrack audio;
  std::wstring recording_path;  // UTF-16, the file written until it is finished
  VideoTrack video;
  SourceWatch watch{timeline, AudioSources{audio, microphone, captures}, audio.failure};

  // The parts the video worker gets, those an audio worker gets besides its
  // source, and the audio sources as the status reads them.
  VideoWork VideoParts() { return VideoWork{timeline, writer, video}; }
  AudioWork AudioParts() { return AudioWork{timeline, writer, audio}; }
  AudioSources Sources() const { return AudioSources{audio, microphone, captures}; }
};

}  // namespace morl::recorder
