// The file an Mp4Encoder writes, as FFmpeg's output context. It can be held
// to the room left on its volume: a write that would make the file longer
// than that writes what fits and fails with ENOSPC, as a full disk does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVIOContext;

namespace mp4 {

class Mp4FileOutput {
 public:
  // Creates (empties) `path`. `max_bytes` < 0: no limit.
  static int Open(const std::string& path, std::int64_t max_bytes,
                  std::unique_ptr<Mp4FileOutput>* output, std::string* error);
  // Writes what is buffered and closes the file, whatever state it is in.
  ~Mp4FileOutput();
  Mp4FileOutput(const Mp4FileOutput&) = delete;
  Mp4FileOutput& operator=(const Mp4FileOutput&) = delete;

  AVIOContext* context() const { return io_; }
  // Writes what is buffered and closes the file: 0 or the first write error.
  int Close();

 private:
  Mp4FileOutput(int fd, std::int64_t max_bytes) : fd_(fd), max_bytes_(max_bytes) {}
  static int Write(void* opaque, std::uint8_t* data, int size);
  static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

  int fd_;
  std::int64_t max_bytes_;
  std::int64_t position_ = 0;
  std::int64_t size_ = 0;
  AVIOContext* io_ = nullptr;
};

}  // namespace mp4
