// Encoder properties, passed to the sink writer as encoding parameters of
// SetInputMediaType (the keys of an attribute store).
#pragma once

#include "win32sim/base.h"

// UINT32: the frames from one key frame to the next; 0 lets the encoder choose.
MORL_DEFINE_GUID(CODECAPI_AVEncMPVGOPSize, 0x95f31b26, 0x95a4, 0x41aa, 0x93, 0x03, 0x24, 0x6a, 0x7f,
                 0xc6, 0xee, 0xf1);
