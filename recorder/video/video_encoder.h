// The H.264 encoder the sink writer runs for the video stream: letting it
// take the GPU's, finding out which one took the stream, and giving it the
// bit rate.
//
// The writer picks its encoder when the stream's input type is set. With
// MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS it prefers a hardware encoder, but
// a GPU without an H.264 encoder, or one that does not take the frame size,
// leaves the stream to the software encoder without saying so: only the
// encoder transform itself tells, by carrying MFT_ENUM_HARDWARE_URL_Attribute
// as every hardware transform does.
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include "recorder/start_options.h"

namespace morl::recorder {

enum class VideoEncoderKind { kSoftware, kHardware };

// Adds MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS to a sink writer's creation
// attributes unless `choice` is kSoftware.
HRESULT AllowHardwareEncoder(IMFAttributes* attributes, EncoderChoice choice);

// Which encoder took `stream` of `writer`, once its input type is set. A
// writer that cannot show its transforms is taken to run the software one.
VideoEncoderKind StreamEncoderKind(IMFSinkWriter* writer, DWORD stream);

// Asks the encoder of `stream` for a constant `bitrate` (bits per second)
// through its ICodecAPI, before BeginWriting. Hardware encoders do not all
// follow the output type's MF_MT_AVG_BITRATE, or default to another rate
// control; an encoder without the interface, or that refuses the values,
// keeps the output type's bit rate.
void SetEncoderBitrate(IMFSinkWriter* writer, DWORD stream, UINT32 bitrate);

}  // namespace morl::recorder
