#include "recorder/recording_control.h"

#include "recorder/recording.h"
#include "win32_support/file_retry.h"
#include "win32_support/utf_conversion.h"

namespace morl::recorder {

namespace {

bool FileExists(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes) != 0;
}

std::int64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) return 0;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) |
                                   attributes.nFileSizeLow);
}

std::string KeptText(const std::wstring& partial_path) {
  return " -- the recording was kept as " + WideToUtf8(partial_path);
}

}  // namespace

std::wstring PartialRecordingPath(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t dot = path.find_last_of(L'.');
  const bool has_extension =
      dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
  return path + L".partial" + (has_extension ? path.substr(dot) : std::wstring());
}

// A file that could not be finalised was kept only when fragmented. The
// target is replaced only by the move, so a failed start or finalise leaves
// it as it was. A writer that left no file at all has nothing to move: the
// target stays as it is and the reply counts 0 bytes. When the move fails
// the recording stays where it was written, so nothing recorded is lost.
Result<StopStatistics> MoveIntoPlace(FinishedRecording finished) {
  const std::wstring& partial = finished.partial_path;
  if (FAILED(finished.finalized)) {
    RecorderError error = CallError("stop_failed", "finalize", finished.finalized);
    if (finished.fragmented && FileExists(partial)) error.message += KeptText(partial);
    return error;
  }
  const DWORD error = MoveFileRetrying(partial.c_str(), finished.stats.path.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (error != ERROR_SUCCESS) {
    if (error != ERROR_FILE_NOT_FOUND || FileExists(partial)) {
      RecorderError failure = CallError("stop_failed", "move", HRESULT_FROM_WIN32(error));
      failure.message += KeptText(partial);
      return failure;
    }
  }
  finished.stats.bytes = FileSize(finished.stats.path);
  return std::move(finished.stats);
}

}  // namespace morl::recorder
