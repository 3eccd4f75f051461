// Where a sink writer writes: the URL given to MFCreateSinkWriterFromURL as
// a local UTF-8 path. Windows takes both '\' and '/' as separators, so '\'
// becomes '/'. The container follows the extension as Media Foundation
// chooses it; the simulation writes MP4 only (.mp4, .m4v, .m4a).
#pragma once

#include <string>

#include "kernel/kernel_file_rules.h"
#include "win32sim/base.h"

namespace winsim {

// MF_E_UNSUPPORTED_BYTESTREAM_TYPE (0xC00D36C4) for an extension without an
// MP4 container; a missing directory gives HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
// as creating the file on Windows would. With `create`, the file is created
// (emptied) as the writer's file is on Windows; otherwise only its
// directory is checked.
// The file name follows Windows' naming rules (kernel_file_rules.h); the
// file, once created, is held in `file` as opened for writing, shared for
// reading only, until the writer lets it go. A NUL name writes to the null
// device (nothing is created or held); the other device names fail with
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
HRESULT ResolveSinkPath(const std::wstring& url, bool create, std::string* path, FileOpen* file);

// An errno value from the file system as the HRESULT Windows gives.
HRESULT HresultFromErrno(int error);

}  // namespace winsim
