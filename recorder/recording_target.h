// The file a start records to, checked before anything is written, and the
// file an earlier recording to it left behind.
//
// CheckTarget refuses, with "start_failed" and a message saying why, a target
// the stop could never move the recording to: a name Windows refuses or reads
// as another name (characters it does not allow, a name ending in a dot or a
// space, a device name such as NUL or COM1 with any extension), a path that
// names a folder, and an existing file that cannot be replaced (read-only, or
// open in another program that does not let it be deleted). A file held only
// for a moment (the indexer, a scanner) is waited for as the stop's move
// would be.
//
// RecoverEarlierRecording moves the file an earlier recording to the same
// target left at its partial path (the program was killed, or the stop could
// not finish it) aside to a free name beside the target - "rec.mp4" gives
// "rec (recovered).mp4", then "rec (recovered 2).mp4" and so on - so that the
// new recording never writes over it.
#pragma once

#include <string>

#include "recorder/recorder_error.h"

namespace morl::recorder {

// Why Windows would refuse `path` as the name of a new file or take it for
// another one; empty when it would not.
std::string TargetNameProblem(const std::wstring& path);

Status CheckTarget(const std::wstring& path);

// The path the earlier recording was moved to (UTF-16); empty when there was
// none. Fails with "start_failed" when one is there but cannot be moved.
Result<std::wstring> RecoverEarlierRecording(const std::wstring& path);

// The `n`-th name RecoverEarlierRecording tries for `path` (n from 1).
std::wstring RecoveredPath(const std::wstring& path, int n);

}  // namespace morl::recorder
