// The part of DirectShow's interfaces that Media Foundation encoders share:
// ICodecAPI.
#pragma once

#include "icodecapi.h"
