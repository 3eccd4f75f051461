// The application bundle handed to the engine: asset, ICU data and AOT
// library paths under one directory, the entry point and its arguments.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace flutter {

class AppProject {
 public:
  // Paths are `directory` + "\flutter_assets", "\icudtl.dat", "\app.so",
  // kept relative; the engine resolves them.
  explicit AppProject(const std::wstring& directory);

  const std::wstring& assets_path() const { return assets_path_; }
  const std::wstring& icu_data_path() const { return icu_data_path_; }
  const std::wstring& aot_library_path() const { return aot_library_path_; }

  // Empty: the engine runs its default entry point.
  const std::string& entry_point() const { return entry_point_; }

  const std::vector<std::string>& entry_point_arguments() const { return entry_point_arguments_; }
  void set_entry_point_arguments(std::vector<std::string> arguments) {
    entry_point_arguments_ = std::move(arguments);
  }

  // Engine option codes, all 0 here; their meaning is the engine's.
  const std::array<std::int32_t, 3>& option_codes() const { return option_codes_; }

 private:
  std::wstring assets_path_;
  std::wstring icu_data_path_;
  std::wstring aot_library_path_;
  std::string entry_point_;
  std::vector<std::string> entry_point_arguments_;
  std::array<std::int32_t, 3> option_codes_{};
};

}  // namespace flutter
