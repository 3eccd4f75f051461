#include "host/app_project.h"

namespace flutter {

AppProject::AppProject(const std::wstring& directory)
    : assets_path_(directory + L"\\flutter_assets"),
      icu_data_path_(directory + L"\\icudtl.dat"),
      aot_library_path_(directory + L"\\app.so") {}

}  // namespace flutter
