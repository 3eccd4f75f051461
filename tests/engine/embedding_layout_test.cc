// The embedding records keep the byte layout that both sides of the library
// boundary rely on; a C translation unit and a C++ one must agree.
#include <gtest/gtest.h>

#include "embedding/flutter_windows.h"

namespace {

TEST(EmbeddingLayout, RecordsHaveTheirFixedOffsets) {
  struct Field {
    const char* name;
    size_t offset;
    size_t expected;
  };
  const Field fields[] = {
      {"assets_path", offsetof(FlutterDesktopEngineProperties, assets_path), 0},
      {"icu_data_path", offsetof(FlutterDesktopEngineProperties, icu_data_path), 8},
      {"aot_library_path", offsetof(FlutterDesktopEngineProperties, aot_library_path), 16},
      {"dart_entrypoint", offsetof(FlutterDesktopEngineProperties, dart_entrypoint), 24},
      {"argc", offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argc), 32},
      {"argv", offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argv), 40},
      {"option_code_1", offsetof(FlutterDesktopEngineProperties, option_code_1), 48},
      {"option_code_2", offsetof(FlutterDesktopEngineProperties, option_code_2), 52},
      {"option_code_3", offsetof(FlutterDesktopEngineProperties, option_code_3), 56},
      {"message", offsetof(FlutterDesktopMessage, message), 16},
      {"message_size", offsetof(FlutterDesktopMessage, message_size), 24},
      {"response_handle", offsetof(FlutterDesktopMessage, response_handle), 32},
  };
  for (const Field& f : fields) EXPECT_EQ(f.offset, f.expected) << f.name;
  EXPECT_EQ(sizeof(FlutterDesktopEngineProperties), 64u);
}

}  // namespace
