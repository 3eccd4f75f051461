// Defines, once for the program, the identifiers of the Core Audio classes,
// interfaces and the device-name property that the recorder uses; the SDK
// headers only declare them.
#include <initguid.h>

#include <windows.h>
#include <audioclient.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>
