#include "transcript.h"

#include <cstdio>
#include <filesystem>

namespace morl_standin {

bool Transcript::OpenFile(const std::string& utf8_path) {
  auto file = std::make_unique<std::ofstream>(std::filesystem::u8path(utf8_path),
                                              std::ios::binary | std::ios::trunc);
  if (!*file) return false;
  file_ = std::move(file);
  return true;
}

void Transcript::Write(const Json& line) {
  const std::string text = FormatLine(line) + "\n";
  if (file_) {
    *file_ << text;
    file_->flush();
  } else {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
}

}  // namespace morl_standin
