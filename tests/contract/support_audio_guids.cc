// The Core Audio identifiers the audio cases use, defined once for the test
// program: the SDK headers only declare them.
#include <initguid.h>

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <functiondiscoverykeys_devpkey.h>
