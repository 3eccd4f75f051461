/* Functions of the stand-in embedding library that the real library does not
 * have: for the stand-in plugins and for tests. Not part of the embedding
 * interface; nothing in the product calls them. */
#ifndef MORL_STANDIN_H_
#define MORL_STANDIN_H_

#include "embedding/flutter_windows.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Writes {"registrar": NAME, "log": TEXT} to the engine's transcript, e.g.
 * TEXT "plugin registered: NAME". A null registrar is reported on stderr. */
FLUTTER_EXPORT void MorlStandInRegistrarLog(FlutterDesktopPluginRegistrarRef registrar,
                                            const char* text);

/* From now on every view controller consumes top-level messages numbered
 * `message`, answering `result`. MorlStandInClearTopLevelMessages undoes all. */
FLUTTER_EXPORT void MorlStandInConsumeTopLevelMessage(UINT message, LRESULT result);
FLUTTER_EXPORT void MorlStandInClearTopLevelMessages(void);

/* The next FlutterDesktopViewControllerCreate fails (returns null). */
FLUTTER_EXPORT void MorlStandInFailNextViewController(void);

/* How often the engine re-read the system fonts, and how many frames it drew. */
FLUTTER_EXPORT int MorlStandInFontReloads(FlutterDesktopEngineRef engine);
FLUTTER_EXPORT int MorlStandInFrames(FlutterDesktopEngineRef engine);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif /* MORL_STANDIN_H_ */
