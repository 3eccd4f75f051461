// Where the stand-in writes its transcript: a file, or standard output.
#pragma once

#include <fstream>
#include <memory>
#include <string>

#include "value_json.h"

namespace morl_standin {

class Transcript {
 public:
  // False (and standard output is kept) when the file cannot be created.
  bool OpenFile(const std::string& utf8_path);
  // Writes one JSON line and flushes it.
  void Write(const Json& line);

 private:
  std::unique_ptr<std::ofstream> file_;
};

}  // namespace morl_standin
