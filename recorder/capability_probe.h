// What this machine can record, for the "probe" method: the primary
// display's size as reported, the default microphone's name and whether
// computer audio is available. Never fails (problems become map entries);
// reads no recording state, so it may run while a recording runs.
#pragma once

#include "messaging/encodable_value.h"

namespace morl::recorder {

flutter::ValueMap ProbeCapabilities();

}  // namespace morl::recorder
