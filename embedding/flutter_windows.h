/* The C interface of the embedding library (flutter_windows.dll): engine,
 * view controller, view, messenger and plugin registrars. Every handle is
 * opaque. Calls are made on the platform thread (the thread that runs the
 * window message loop) except the messenger's reference count, lock,
 * availability test and SendResponse, which may be called from any thread.
 * No callback into the caller may let an exception escape. */
#ifndef MORL_EMBEDDING_FLUTTER_WINDOWS_H_
#define MORL_EMBEDDING_FLUTTER_WINDOWS_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <stdbool.h>
#endif

/* The build defines FLUTTER_EXPORT for the library itself (dllexport or
 * default visibility); users of the library see it empty. */
#ifndef FLUTTER_EXPORT
#define FLUTTER_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;
typedef struct FlutterDesktopMessageResponseHandle FlutterDesktopMessageResponseHandle;

/* What the engine runs. 64 bytes; the strings are read while
 * FlutterDesktopEngineCreate runs and not kept. Paths are UTF-16; relative
 * paths are taken relative to the current directory. */
typedef struct {
  const wchar_t* assets_path;
  const wchar_t* icu_data_path;
  const wchar_t* aot_library_path;
  const char* dart_entrypoint; /* UTF-8; empty for the default entry point */
  int32_t dart_entrypoint_argc;
  const char** dart_entrypoint_argv; /* argc UTF-8 strings; null when argc is 0 */
  int32_t option_code_1;
  int32_t option_code_2;
  int32_t option_code_3;
} FlutterDesktopEngineProperties;

/* One message arriving on a channel. */
typedef struct {
  size_t struct_size;
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);
typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);

/* ---- Engine ---- */
FLUTTER_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* engine_properties);
/* Ends an engine that was not given to a view controller. */
FLUTTER_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);
/* The engine's messenger; valid while the engine lives or a reference is held. */
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);
/* The registrar of the named plugin (UTF-8); the same handle for the same name. */
FLUTTER_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name);
/* `callback` runs once, on the platform thread, after the next frame. */
FLUTTER_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback, void* user_data);
FLUTTER_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);

/* ---- View controller and view ---- */
/* Takes ownership of `engine` and runs it. The engine is given up either
 * way: on failure the result is null and the library ends the engine, so the
 * caller must not destroy it. */
FLUTTER_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef engine);
/* Ends the view and the engine. */
FLUTTER_EXPORT void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller);
FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);
FLUTTER_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);
/* Offers a message of the top-level window to the engine first. True: the
 * engine handled it and `result` is the message's result. */
FLUTTER_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result);
/* The view's child window. */
FLUTTER_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

/* ---- Process ---- */
/* DPI of a monitor; 96 is 100 %. */
FLUTTER_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);
/* Makes the library's own output follow newly attached standard streams. */
FLUTTER_EXPORT void FlutterDesktopResyncOutputStreams(void);

/* ---- Messenger ---- */
FLUTTER_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                const char* channel, const uint8_t* message,
                                                size_t message_size);
/* True: `reply` runs exactly once later on the platform thread. False: it
 * never runs and the caller frees `user_data`. */
FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                                         const char* channel,
                                                         const uint8_t* message,
                                                         size_t message_size,
                                                         FlutterDesktopBinaryReply reply,
                                                         void* user_data);
/* Answers one incoming message; a handle answers once, later answers are refused. */
FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_length);
/* Sets (or, with a null callback, removes) the handler of a channel. */
FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                                       const char* channel,
                                                       FlutterDesktopMessageCallback callback,
                                                       void* user_data);
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);
/* False once the engine behind the messenger is gone. */
FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger);
/* While locked, availability cannot change. Unlock takes what Lock gave. */
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger);

#ifdef __cplusplus
}  // extern "C"
#endif

#ifdef __cplusplus
static_assert(sizeof(FlutterDesktopEngineProperties) == 64, "engine properties are 64 bytes");
static_assert(offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argc) == 32, "argc at 32");
static_assert(offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argv) == 40, "argv at 40");
static_assert(offsetof(FlutterDesktopEngineProperties, option_code_1) == 48, "options at 48");
static_assert(offsetof(FlutterDesktopMessage, message) == 16, "message bytes at 16");
static_assert(offsetof(FlutterDesktopMessage, message_size) == 24, "byte count at 24");
static_assert(offsetof(FlutterDesktopMessage, response_handle) == 32, "response handle at 32");
#endif

#endif /* MORL_EMBEDDING_FLUTTER_WINDOWS_H_ */
