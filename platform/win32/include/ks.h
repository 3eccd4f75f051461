// Kernel-streaming base declarations; the data-format GUIDs are in ksmedia.h.
#pragma once

#include "win32sim/base.h"
