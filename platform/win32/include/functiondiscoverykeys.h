#pragma once
#include "functiondiscoverykeys_devpkey.h"
