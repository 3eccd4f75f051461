// The multimedia timer functions, declared in mmsystem.h as in the SDK.
#pragma once

#include "mmsystem.h"
